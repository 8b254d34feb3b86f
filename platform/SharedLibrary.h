// A library loaded at run time by file name, looked for in the program's own folder first and
// then along the system's usual search. The library is unloaded when the object goes.
#pragma once

#include <string>

#include "platform/SystemError.h"

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads `fileName` (no folder) from `programFolder`, else through the usual search.
    // Returns an unloaded object when neither finds it; error() then says why.
    static SharedLibrary load(const std::string& fileName, const std::string& programFolder);

    bool isLoaded() const { return handle_ != nullptr; }
    // The address of an exported symbol, or nullptr when the library lacks it.
    void* symbol(const char* name) const;
    // Points `function` at the exported function `name`; false (and null) when it is missing.
    template <typename Function>
    bool bind(const char* name, Function& function) const {
        function = reinterpret_cast<Function>(symbol(name));
        return function != nullptr;
    }
    const SystemError& error() const { return error_; }

private:
    void* handle_ = nullptr;
    SystemError error_;
};

// The folder the running program was started from (its executable's folder).
std::string programFolder();
