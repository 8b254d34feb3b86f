// A file the program writes or reads, opened so that nothing else standing under its name is
// followed or waited on: a link, a pipe, a socket, a device or a folder is refused, never read or
// written, and an existing file is emptied only once it is known to be a regular file. A file
// that an open creates has its folder synced so that its name is on the disk; a folder that
// cannot be synced still leaves the file made (a lost recording is worse than a name that a
// power cut may take), and says so through folderSyncError().
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <utility>

#include "platform/SystemError.h"

// Owns the system's handle and closes it with the object. Used by one thread at a time, except
// that appends (Access::Append) from several threads never mix within one write.
class File {
public:
    enum class Access {
        Read,              // an existing file; a link in its place is refused
        ReadThroughLinks,  // an existing file, or a link to one
        CreateNew,         // a new file; anything already under the name refuses it
        Replace,           // a new file, or an existing one emptied; a link is refused, and
                           // a file with other (hard-linked) names gets a new file in its place
        Append,            // an existing file or a new one, read anywhere, every write at its end
    };
    // Puts the entry naming `file` in its folder on the disk (syncFolderOf; tests fail it).
    using FolderSync = SystemError (*)(const std::filesystem::path& file);
    static File open(const std::filesystem::path& path, Access access,
                     FolderSync syncFolder = &File::syncFolderOf);

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool isOpen() const { return handle_ != kNoHandle; }
    // Why the open failed (Missing, NotARegularFile, HeldElsewhere: another program has it
    // open, or Other); no failure once open.
    const SystemError& error() const { return error_; }
    // Why the folder of a file this open made could not be synced; no failure otherwise.
    const SystemError& folderSyncError() const { return folderSyncError_; }

    // Up to `into.size()` bytes from the current position: the count read, 0 at the end, -1
    // when the read failed.
    std::int64_t read(std::span<unsigned char> into);
    // As read, from `offset` on, leaving the current position where it was.
    std::int64_t readAt(std::int64_t offset, std::span<unsigned char> into);
    // All of `bytes`, or false. A short write is retried until the system refuses.
    bool write(std::span<const unsigned char> bytes);
    // Puts the data written so far on the disk. A file system that has nothing to make safe
    // (one that cannot sync) counts as synced.
    bool sync();
    // The file's size in bytes; -1 when it cannot be told.
    std::int64_t size() const;
    // False when the system reported an error; the handle is gone either way, never retried.
    bool close();
    // Puts the entry naming `file` (a file or a folder) in its folder on the disk; Kind::None
    // when done.
    static SystemError syncFolderOf(const std::filesystem::path& file);

private:
    static constexpr std::intptr_t kNoHandle = -1;
    explicit File(std::intptr_t handle) : handle_(handle) {}
    explicit File(SystemError error) : error_(std::move(error)) {}

    std::intptr_t handle_ = kNoHandle;  // a descriptor, or a Windows HANDLE
    SystemError error_;
    SystemError folderSyncError_;
};

// Whether the current user may create files in `folder`.
bool folderIsWritable(const std::filesystem::path& folder);
