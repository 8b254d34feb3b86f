// What both systems' files share: the handle's ownership.
#include "platform/File.h"

#include <utility>

File::~File() {
    close();
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      error_(std::move(other.error_)),
      folderSyncError_(std::move(other.folderSyncError_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kNoHandle);
        error_ = std::move(other.error_);
        folderSyncError_ = std::move(other.folderSyncError_);
    }
    return *this;
}
