// Decoding a stream's MP3 data with libmpg123: the part of the file that the stream plays, and
// the decoders that read it, each at a position of its own.
#pragma once

#include <mpg123.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/File.h"
#include "platform/UniqueHandle.h"

// The byte range of an open file that holds a stream's MP3 data. Several decoders of one stream
// (a restarted playback and one still winding down) read it at once, each at its own position.
class StreamSource {
public:
    StreamSource(File file, off_t begin, off_t end)
        : file_(std::move(file)), begin_(begin), end_(end) {}

    off_t begin() const { return begin_; }
    off_t end() const { return end_; }
    // Up to `count` bytes from `offset`: the number read, 0 at the end, -1 on failure.
    std::int64_t readAt(off_t offset, void* buffer, std::size_t count) const;

private:
    // The file is read by one thread at a time.
    mutable std::mutex mutex_;
    mutable File file_;
    const off_t begin_;
    const off_t end_;
};

// What the decoder hands out: signed 16-bit samples at the file's own rate and channel count.
struct AudioFormat {
    long rate = 0;
    int channels = 0;
    int encoding = 0;

    bool operator==(const AudioFormat&) const = default;
    std::size_t frameBytes() const { return static_cast<std::size_t>(channels) * 2; }
};

// One libmpg123 decoder reading a source from its beginning, at a position of its own.
// Keeps the source for as long as it lives.
class Decoder {
public:
    // Null when libmpg123 has no decoder to give.
    static std::unique_ptr<Decoder> open(std::shared_ptr<const StreamSource> source);
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    mpg123_handle* handle() const { return handle_.get(); }
    // Nothing until the first frame header is found.
    std::optional<AudioFormat> format() const;
    // mpg123 skips junk to find a frame header, so a text file can look like a stream until
    // something actually decodes.
    bool decodesAFrame();

private:
    explicit Decoder(std::shared_ptr<const StreamSource> source) : source_(std::move(source)) {}

    static mpg123_ssize_t read(void* self, void* buffer, std::size_t size);
    static off_t seek(void* self, off_t offset, int whence);
    static void closeAndDelete(mpg123_handle* handle);

    std::shared_ptr<const StreamSource> source_;
    off_t position_ = source_->begin();
    // Declared last so it is closed before the reader state above goes away.
    UniqueHandle<mpg123_handle, closeAndDelete> handle_;
};
