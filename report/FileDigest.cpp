#include "report/FileDigest.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>

#include "platform/RegularFile.h"
#include "report/Checksum.h"

namespace {

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
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
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

DigestFailure digestFailureOf(RegularFile::Failure failure) {
    switch (failure) {
        case RegularFile::Failure::Missing:
            return DigestFailure::Missing;
        case RegularFile::Failure::NotARegularFile:
            return DigestFailure::NotRegularFile;
        case RegularFile::Failure::None:
        case RegularFile::Failure::Other:
            break;
    }
    return DigestFailure::Unreadable;
}

}  // namespace

DigestOutcome digestRegularFile(const QString& path, std::span<unsigned char> buffer) {
    const RegularFile file =
        RegularFile::open(QFile::encodeName(path).toStdString(), RegularFile::Access::Read);
    if (!file.isOpen()) {
        return {std::nullopt, digestFailureOf(file.failure())};
    }
    return {digestOpenFile(file.fd(), buffer), DigestFailure::Unreadable};
}

std::optional<FileDigest> digestFile(const QString& path, std::span<unsigned char> buffer) {
    return digestRegularFile(path, buffer).digest;
}
