#include "report/FileDigest.h"

#include <algorithm>

#include "platform/File.h"
#include "platform/FileName.h"
#include "report/Checksum.h"

namespace {

std::optional<FileDigest> digestOpenFile(File& file, std::span<unsigned char> buffer) {
    const std::int64_t end = file.size();
    if (end < 0) {
        return std::nullopt;
    }
    Checksum checksum;
    std::int64_t done = 0;
    while (done < end) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), end - done));
        const std::int64_t count = file.read(buffer.first(wanted));
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

DigestFailure digestFailureOf(SystemError::Kind failure) {
    switch (failure) {
        case SystemError::Kind::Missing:
            return DigestFailure::Missing;
        case SystemError::Kind::NotARegularFile:
            return DigestFailure::NotRegularFile;
        default:
            break;
    }
    return DigestFailure::Unreadable;
}

}  // namespace

DigestOutcome digestRegularFile(const QString& path, std::span<unsigned char> buffer) {
    File file = File::open(filePath(path), File::Access::Read);
    if (!file.isOpen()) {
        return {std::nullopt, digestFailureOf(file.error().kind)};
    }
    return {digestOpenFile(file, buffer), DigestFailure::Unreadable};
}

std::optional<FileDigest> digestFile(const QString& path, std::span<unsigned char> buffer) {
    return digestRegularFile(path, buffer).digest;
}
