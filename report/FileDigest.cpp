#include "report/FileDigest.h"

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

}  // namespace

std::optional<FileDigest> digestFile(const QString& path, std::span<unsigned char> buffer) {
    // Anything but a regular file is unreadable here: a link is not followed out of the folder,
    // and a pipe or device would hang the statement or never end.
    const RegularFile file =
        RegularFile::open(QFile::encodeName(path).toStdString(), RegularFile::Access::Read);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    const off_t end = ::lseek(file.fd(), 0, SEEK_END);
    if (end < 0 || ::lseek(file.fd(), 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    Checksum checksum;
    std::int64_t done = 0;
    while (done < end) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), end - done));
        const ssize_t count = readSome(file.fd(), buffer.first(wanted));
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
