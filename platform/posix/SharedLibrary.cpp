#include "platform/SharedLibrary.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>
#include <utility>

void SharedLibrary::unload() {
    if (handle_ != nullptr) {
        dlclose(std::exchange(handle_, nullptr));
    }
}

SharedLibrary SharedLibrary::load(const std::string& fileName, const std::string& programFolder) {
    SharedLibrary library;
    if (!programFolder.empty()) {
        const std::string local = (std::filesystem::path(programFolder) / fileName).string();
        library.handle_ = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library.handle_ != nullptr) {
            return library;
        }
    }
    library.handle_ = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library.handle_ == nullptr) {
        const char* reason = dlerror();
        library.error_ = {SystemError::Kind::Other, 0,
                          reason != nullptr ? reason : fileName + ": not found"};
    }
    return library;
}

void* SharedLibrary::symbol(const char* name) const {
    return dlsym(handle_, name);
}

std::string programFolder() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    return executable.parent_path().string();
}
