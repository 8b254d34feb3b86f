// What both systems' files share: the handle's ownership.
#include "platform/File.h"

#include <utility>

File::~File() {
    close();
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), error_(std::move(other.error_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kNoHandle);
        error_ = std::move(other.error_);
    }
    return *this;
}
