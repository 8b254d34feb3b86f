#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

int flagsOf(RegularFile::Access access) {
    switch (access) {
        case RegularFile::Access::Read:
            return O_RDONLY | O_NOFOLLOW;
        case RegularFile::Access::ReadThroughLinks:
            return O_RDONLY;
        case RegularFile::Access::CreateNew:
            return O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
        case RegularFile::Access::Replace:
            // Not O_TRUNC: only a file found to be regular is emptied.
            return O_WRONLY | O_CREAT | O_NOFOLLOW;
    }
    return O_RDONLY | O_NOFOLLOW;
}

RegularFile::Failure failureOf(int error) {
    switch (error) {
        case ENOENT:
            return RegularFile::Failure::Missing;
        case ELOOP:   // a link, refused by O_NOFOLLOW
        case ENXIO:   // a pipe nobody reads, or a socket
        case EISDIR:  // a folder opened for writing
        case ENODEV:
            return RegularFile::Failure::NotARegularFile;
        default:
            return RegularFile::Failure::Other;
    }
}

}  // namespace

RegularFile RegularFile::open(const std::string& path, Access access) {
    // Without O_NONBLOCK, opening a pipe would wait until someone opened its other end.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flagsOf(access) | O_NONBLOCK | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return {-1, failureOf(errno)};
    }
    RegularFile file(fd, Failure::None);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return {-1, Failure::Other};
    }
    if (!S_ISREG(status.st_mode)) {
        return {-1, Failure::NotARegularFile};
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return {-1, Failure::Other};
    }
    if (access == Access::Replace && ::ftruncate(fd, 0) != 0) {
        return {-1, Failure::Other};
    }
    return file;
}

RegularFile::~RegularFile() {
    close();
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), failure_(other.failure_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        failure_ = other.failure_;
    }
    return *this;
}

int RegularFile::release() {
    return std::exchange(fd_, -1);
}

void RegularFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}
