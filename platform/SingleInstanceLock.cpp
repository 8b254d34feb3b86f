// What both systems' locks share: the handle's ownership.
#include "platform/SingleInstanceLock.h"

#include <utility>

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

SingleInstanceLock::SingleInstanceLock(SingleInstanceLock&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), error_(std::move(other.error_)) {}

SingleInstanceLock& SingleInstanceLock::operator=(SingleInstanceLock&& other) noexcept {
    if (this != &other) {
        release();
        handle_ = std::exchange(other.handle_, kNoHandle);
        error_ = std::move(other.error_);
    }
    return *this;
}
