#include "SourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

std::optional<SourceFile> SourceFile::open(const void* name, bool) {
    // Non-blocking, or opening a FIFO would wait for a writer; plain files read the same.
    const int fd = ::open(static_cast<const char*>(name), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    SourceFile file(fd, 0);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode) ||
        S_ISSOCK(info.st_mode))
        return std::nullopt;
    file.size_ = static_cast<uint64_t>(info.st_size);
    return file;
}

SourceFile::SourceFile(SourceFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), size_(other.size_) {}

SourceFile::~SourceFile() {
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
}

int64_t SourceFile::readAt(void* buffer, size_t count, uint64_t offset) const {
    ssize_t got;
    do {
        got = ::pread(static_cast<int>(handle_), buffer, count, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got;
}
