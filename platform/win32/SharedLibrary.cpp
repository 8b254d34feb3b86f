#include "platform/SharedLibrary.h"

#include <windows.h>

#include <filesystem>
#include <utility>

#include "platform/win32/Utf8.h"

namespace {

HMODULE moduleOf(void* handle) {
    return static_cast<HMODULE>(handle);
}

SystemError loadError() {
    const DWORD code = GetLastError();
    return systemError(
        code == ERROR_MOD_NOT_FOUND ? SystemError::Kind::Missing : SystemError::Kind::Other,
        static_cast<long>(code));
}

}  // namespace

void SharedLibrary::unload() {
    if (handle_ != nullptr) {
        FreeLibrary(moduleOf(std::exchange(handle_, nullptr)));
    }
}

SharedLibrary SharedLibrary::load(const std::string& fileName, const std::string& programFolder) {
    SharedLibrary library;
    // No "the library could not be found" box from the system: the program tells it itself.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (!programFolder.empty()) {
        const std::filesystem::path local =
            std::filesystem::path(wideFromUtf8(programFolder)) / wideFromUtf8(fileName);
        // What it imports comes from its own folder first.
        library.handle_ =
            LoadLibraryExW(local.c_str(), nullptr,
                           LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    }
    if (library.handle_ == nullptr) {
        // Never the working folder nor PATH.
        library.handle_ =
            LoadLibraryExW(wideFromUtf8(fileName).c_str(), nullptr,
                           LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    if (library.handle_ == nullptr) {
        library.error_ = loadError();
    }
    SetErrorMode(previousMode);
    return library;
}

void* SharedLibrary::symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(moduleOf(handle_), name));
}

std::string programFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            return {};
        }
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        name.resize(name.size() * 2);
    }
    return utf8FromWide(std::filesystem::path(name).parent_path().native());
}
