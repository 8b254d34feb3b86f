// One pass over an answer file: its size and checksum, read front to back through the caller's
// buffer, so one buffer serves a whole statement run or check of a transferred set.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <span>

struct FileDigest {
    std::int64_t size = 0;
    std::uint32_t checksum = 0;
};

// Why a file gave no digest.
enum class DigestFailure { Missing, NotRegularFile, Unreadable };

struct DigestOutcome {
    std::optional<FileDigest> digest;
    DigestFailure failure = DigestFailure::Unreadable;  // meaningful only without a digest
};

// The size and checksum of `path`, or why there are none. Anything but a regular file gives
// none: a link is not followed out of the folder, and a pipe or device would hang the reader or
// never end; nor does a file that cannot be read to its end, as a half-read file has no checksum
// to vouch for. The size is taken by seeking to the end, and only that many bytes are read, so
// the two describe the same bytes even while a recording is still appending to the file.
DigestOutcome digestRegularFile(const QString& path, std::span<unsigned char> buffer);

// As digestRegularFile, without the reason.
std::optional<FileDigest> digestFile(const QString& path, std::span<unsigned char> buffer);
