// A library loaded at run time by file name, looked for in the program's own folder first and
// then in the system's (on Windows never in the working folder). It is unloaded when the object
// goes.
#pragma once

#include <initializer_list>
#include <string>

#include "platform/SystemError.h"

class SharedLibrary {
public:
    // One exported function to bind: its name and the pointer that receives its address.
    class Symbol {
    public:
        template <typename Function>
        Symbol(const char* name, Function& function)
            : name_(name), target_(&function), assign_([](void* target, void* address) {
                  *static_cast<Function*>(target) = reinterpret_cast<Function>(address);
              }) {}

    private:
        friend class SharedLibrary;
        const char* name_;
        void* target_;
        void (*assign_)(void* target, void* address);
    };

    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads `fileName` (no folder) from `programFolder`, else from the program's or the system's
    // folder (on Linux the loader's usual search).
    // Returns an unloaded object when neither finds it; error() then says why.
    static SharedLibrary load(const std::string& fileName, const std::string& programFolder);

    bool isLoaded() const { return handle_ != nullptr; }
    // Binds every one of `symbols`, in their order, a missing one to null. The name of the first
    // one the library lacks, or nullptr when it has them all.
    const char* bindAll(std::initializer_list<Symbol> symbols) const;
    const SystemError& error() const { return error_; }

private:
    // The system's part: the address of an exported symbol, or nullptr when it is missing.
    void* symbol(const char* name) const;
    // The system's part: lets go of the handle, if any.
    void unload();

    void* handle_ = nullptr;
    SystemError error_;
};

// The folder the running program was started from (its executable's folder).
std::string programFolder();
