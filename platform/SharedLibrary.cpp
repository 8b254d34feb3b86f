// What both systems' libraries share: the handle's ownership and the binding of symbols.
#include "platform/SharedLibrary.h"

#include <utility>

SharedLibrary::~SharedLibrary() {
    unload();
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        unload();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

const char* SharedLibrary::bindAll(std::initializer_list<Symbol> symbols) const {
    const char* firstMissing = nullptr;
    for (const Symbol& wanted : symbols) {
        void* address = handle_ != nullptr ? symbol(wanted.name_) : nullptr;
        wanted.assign_(wanted.target_, address);
        if (address == nullptr && firstMissing == nullptr) {
            firstMissing = wanted.name_;
        }
    }
    return firstMissing;
}
