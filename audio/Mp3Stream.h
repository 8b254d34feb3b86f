// One MP3 encoding stream of the encoder library: configured and opened on construction,
// fed interleaved 16-bit PCM through encode(), closed on destruction. It writes no files.
#pragma once

#include <cstdint>

#include "audio/EncoderLibrary.h"
#include "lame_enc.h"

// The library must outlive the stream. A stream is used by one thread at a time.
class Mp3Stream {
public:
    // Constant bitrate `bitrate` (kbit/s), joint stereo, from `inputRate` to `outputRate` Hz.
    // Throws what EncoderLibrary::load() throws, or AudioError "ERRORR in beInitStream." when
    // the library refuses the configuration.
    Mp3Stream(std::uint32_t bitrate, std::uint32_t inputRate, std::uint32_t outputRate,
              EncoderLibrary& library = EncoderLibrary::instance());
    ~Mp3Stream();
    Mp3Stream(const Mp3Stream&) = delete;
    Mp3Stream& operator=(const Mp3Stream&) = delete;

    // Encodes `sampleCount` samples (all channels counted) into `output`, which must hold at
    // least outputBufferSize() bytes, and stores the number of bytes written, possibly 0, in
    // `*outputBytes`. Returns the library's result code (0 is success); throws nothing.
    std::uint32_t encode(const short* samples, std::uint32_t sampleCount, unsigned char* output,
                         std::uint32_t* outputBytes);

    const BE_CONFIG& config() const { return config_; }
    HBE_STREAM stream() const { return stream_; }
    // The output area one encode() call needs, as the library reported it.
    std::uint32_t outputBufferSize() const { return outputBufferSize_; }
    // The most samples one encode() call takes, as the library reported it.
    std::uint32_t samplesPerChunk() const { return samplesPerChunk_; }

private:
    EncoderLibrary& library_;
    BE_CONFIG config_{};
    HBE_STREAM stream_ = 0;
    std::uint32_t outputBufferSize_ = 0;
    std::uint32_t samplesPerChunk_ = 0;
};
