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
// folder, a missing link target, a read error): a half-read file has no checksum to vouch for.
// The size is taken by seeking to the end, and only that many bytes are read, so the two
// describe the same bytes even while a recording is still appending to the file.
std::optional<FileDigest> digestFile(const QString& path, std::span<unsigned char> buffer);

// Why a file from elsewhere gave no digest.
enum class DigestFailure { Missing, NotRegularFile, Unreadable };

// A file that came from elsewhere, opened for reading without following a final link or
// waiting on a FIFO or device; only a regular file stays open. Closed with the object.
class RegularFile {
public:
    explicit RegularFile(const QString& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Why it is not open.
    DigestFailure failure() const { return failure_; }

private:
    int fd_;
    DigestFailure failure_ = DigestFailure::Unreadable;
};

struct DigestOutcome {
    std::optional<FileDigest> digest;
    DigestFailure failure = DigestFailure::Unreadable;  // meaningful only without a digest
};

// As digestFile(), for a RegularFile.
DigestOutcome digestRegularFile(const QString& path, std::span<unsigned char> buffer);
