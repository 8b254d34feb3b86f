// Read-only access to the MP3 file by position, so that several decoders of one stream (a
// restarted playback and one still winding down) never share a file offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

class SourceFile {
public:
    // Nothing when the file is missing, unreadable, a folder, or a pipe: a pipe is never
    // waited on. `wideName` (Windows only) says `name` is UTF-16; otherwise it is the
    // system's own bytes on Linux, and UTF-8 (else the ANSI code page) on Windows.
    static std::optional<SourceFile> open(const void* name, bool wideName);

    SourceFile(SourceFile&& other) noexcept;
    SourceFile& operator=(SourceFile&&) = delete;
    ~SourceFile();

    // The size when opened.
    uint64_t size() const { return size_; }
    // Up to `count` bytes from `offset`: the number read, 0 at the end, -1 on failure.
    int64_t readAt(void* buffer, size_t count, uint64_t offset) const;

private:
    SourceFile(intptr_t handle, uint64_t size) : handle_(handle), size_(size) {}

    // A file descriptor, or a Windows HANDLE; -1 for none on both.
    intptr_t handle_;
    uint64_t size_;
};
