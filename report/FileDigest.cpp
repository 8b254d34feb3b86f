#include "report/FileDigest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>

#include "report/Checksum.h"

namespace {

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC)) {}
    ~ReadOnlyFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

private:
    int fd_;
};

ssize_t readSome(int fd, std::span<unsigned char> into) {
    ssize_t count;
    do {
        count = ::read(fd, into.data(), into.size());
    } while (count < 0 && errno == EINTR);
    return count;
}

std::optional<FileDigest> digestOpenFile(int fd, std::span<unsigned char> buffer) {
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    Checksum checksum;
    std::int64_t done = 0;
    while (done < end) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), end - done));
        const ssize_t count = readSome(fd, buffer.first(wanted));
        if (count < 0) {
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        checksum.add(buffer.first(static_cast<std::size_t>(count)));
        done += count;
    }
    return FileDigest{done, checksum.value()};
}

}  // namespace

std::optional<FileDigest> digestFile(const QString& path, std::span<unsigned char> buffer) {
    const ReadOnlyFile file(path);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    return digestOpenFile(file.fd(), buffer);
}

RegularFile::RegularFile(const QString& path)
    // A FIFO or device under the name must not hang the reader, nor a link lead it elsewhere.
    : fd_(::open(QFile::encodeName(path).constData(),
                 O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY)) {
    if (fd_ < 0) {
        failure_ = errno == ENOENT  ? DigestFailure::Missing
                   : errno == ELOOP ? DigestFailure::NotRegularFile
                                    : DigestFailure::Unreadable;
        return;
    }
    struct stat status {};
    const bool statted = ::fstat(fd_, &status) == 0;
    if (!statted || !S_ISREG(status.st_mode)) {
        failure_ = statted ? DigestFailure::NotRegularFile : DigestFailure::Unreadable;
        ::close(fd_);
        fd_ = -1;
    }
}

RegularFile::~RegularFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

DigestOutcome digestRegularFile(const QString& path, std::span<unsigned char> buffer) {
    const RegularFile file(path);
    if (!file.isOpen()) {
        return {std::nullopt, file.failure()};
    }
    ::posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return {digestOpenFile(file.fd(), buffer), DigestFailure::Unreadable};
}
