#include "exam/RecordingFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/RegularFile.h"

namespace {

// A file system that cannot sync (it has nothing to make safe) has still taken the bytes.
bool synced(int fd) {
    return ::fdatasync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

}  // namespace

RecordingFile::~RecordingFile() {
    close();
}

bool RecordingFile::open(const std::string& name, Mode mode) {
    close();
    // Never through a link, and never into a pipe or device that happens to bear the name.
    fd_ = RegularFile::open(name, mode == Mode::CreateNew ? RegularFile::Access::CreateNew
                                                          : RegularFile::Access::Replace)
              .release();
    name_ = name;
    failed_ = false;
    return fd_ >= 0;
}

bool RecordingFile::write(std::span<const unsigned char> bytes) {
    if (fd_ < 0) {
        return false;
    }
    if (bytes.empty()) {
        return true;
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            failed_ = true;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    if (!synced(fd_)) {
        failed_ = true;
        return false;
    }
    return true;
}

bool RecordingFile::close() {
    if (fd_ < 0) {
        return true;
    }
    bool ok = synced(fd_);
    // Linux releases the descriptor even when close reports an error: never retry it.
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    failed_ = failed_ || !ok;
    return ok;
}

bool RecordingFile::closeAndRemoveIfEmpty() {
    if (fd_ < 0) {
        return true;
    }
    struct stat status {};
    const bool empty = ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0;
    const bool ok = close();
    if (empty) {
        ::unlink(name_.c_str());
    }
    return ok;
}
