// One pass over an answer file: its size and checksum, read front to back through the caller's
// buffer, so one buffer serves a whole statement run.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <span>

struct FileDigest {
    std::int64_t size = 0;
    std::uint32_t checksum = 0;
};

// The size and checksum of `path`, or nothing when it cannot be opened or read to its end (a
// folder, a link, a pipe or device, a read error): a half-read file has no checksum to vouch for.
// The size is taken by seeking to the end, and only that many bytes are read, so the two
// describe the same bytes even while a recording is still appending to the file.
std::optional<FileDigest> digestFile(const QString& path, std::span<unsigned char> buffer);
