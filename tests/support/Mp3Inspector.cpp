#include "support/Mp3Inspector.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace mp3 {
namespace {

struct HandleDeleter {
    void operator()(mpg123_handle* handle) const {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};
using HandlePtr = std::unique_ptr<mpg123_handle, HandleDeleter>;

// Serving the bytes through a reader (rather than feeding them) gives libmpg123 a real end
// of stream and real stream offsets for mpg123_framepos.
struct MemoryReader {
    std::span<const unsigned char> bytes;
    std::size_t position = 0;

    static mpg123_ssize_t read(void* self, void* out, std::size_t count) {
        auto* reader = static_cast<MemoryReader*>(self);
        const std::size_t n = std::min(count, reader->bytes.size() - reader->position);
        if (n != 0) {  // an empty span's data() may be null, which memcpy must not get
            std::memcpy(out, reader->bytes.data() + reader->position, n);
        }
        reader->position += n;
        return static_cast<mpg123_ssize_t>(n);
    }

    static off_t seek(void* self, off_t offset, int whence) {
        auto* reader = static_cast<MemoryReader*>(self);
        const off_t base = whence == SEEK_SET   ? 0
                           : whence == SEEK_CUR ? static_cast<off_t>(reader->position)
                                                : static_cast<off_t>(reader->bytes.size());
        const off_t target = base + offset;
        if (target < 0 || target > static_cast<off_t>(reader->bytes.size())) {
            return -1;
        }
        reader->position = static_cast<std::size_t>(target);
        return target;
    }
};

MpegVersion toVersion(int version) {
    switch (version) {
        case MPG123_1_0:
            return MpegVersion::Mpeg1;
        case MPG123_2_0:
            return MpegVersion::Mpeg2;
        default:
            return MpegVersion::Mpeg25;
    }
}

ChannelMode toMode(int mode) {
    switch (mode) {
        case MPG123_M_STEREO:
            return ChannelMode::Stereo;
        case MPG123_M_JOINT:
            return ChannelMode::JointStereo;
        case MPG123_M_DUAL:
            return ChannelMode::DualChannel;
        default:
            return ChannelMode::Mono;
    }
}

int readMainDataBegin(mpg123_handle* handle, const Frame& frame) {
    unsigned long header = 0;
    unsigned char* body = nullptr;
    std::size_t bodySize = 0;
    if (frame.layer != 3 || mpg123_framedata(handle, &header, &body, &bodySize) != MPG123_OK) {
        return 0;
    }
    const std::size_t at = frame.crc ? 2 : 0;
    if (bodySize < at + 2) {
        return 0;
    }
    // 9 bits in MPEG-1 side info, 8 bits in MPEG-2 and 2.5.
    return frame.version == MpegVersion::Mpeg1 ? (body[at] << 1) | (body[at + 1] >> 7) : body[at];
}

std::string failure(mpg123_handle* handle, const char* what) {
    return std::string(what) + ": " + mpg123_strerror(handle);
}

}  // namespace

bool Stream::framesCoverInput() const {
    std::size_t expected = 0;
    for (const Frame& frame : frames) {
        if (frame.offset != expected) {
            return false;
        }
        expected += frame.size;
    }
    return expected == inputSize;
}

Stream inspect(std::span<const unsigned char> bytes, Pcm pcm) {
    Stream result;
    result.inputSize = bytes.size();

    int err = MPG123_OK;
    HandlePtr handle(mpg123_new(nullptr, &err));
    if (!handle) {
        result.error = std::string("mpg123_new: ") + mpg123_plain_strerror(err);
        return result;
    }
    MemoryReader reader{bytes};
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_IGNORE_INFOFRAME | MPG123_QUIET, 0);
    mpg123_param(handle.get(), MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    if (mpg123_replace_reader_handle(handle.get(), MemoryReader::read, MemoryReader::seek,
                                     nullptr) != MPG123_OK ||
        mpg123_open_handle(handle.get(), &reader) != MPG123_OK) {
        result.error = failure(handle.get(), "open");
        return result;
    }

    std::size_t bytesPerSampleFrame = 0;
    bool keepSamples = false;
    for (;;) {
        int status = mpg123_framebyframe_next(handle.get());
        if (status == MPG123_DONE) {
            break;
        }
        if (status == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(handle.get(), &rate, &channels, &encoding);
            result.channels = channels;
            bytesPerSampleFrame = static_cast<std::size_t>(channels * mpg123_encsize(encoding));
            keepSamples = encoding == MPG123_ENC_SIGNED_16 && pcm == Pcm::Keep;
        } else if (status != MPG123_OK) {
            result.error = failure(handle.get(), "next frame");
            break;
        }

        mpg123_frameinfo2 info{};
        mpg123_info2(handle.get(), &info);
        Frame frame;
        frame.offset = static_cast<std::size_t>(mpg123_framepos(handle.get()));
        frame.size = static_cast<std::size_t>(info.framesize);
        frame.version = toVersion(info.version);
        frame.layer = info.layer;
        frame.sampleRate = info.rate;
        frame.mode = toMode(info.mode);
        frame.bitrateKbps = info.bitrate;
        frame.crc = (info.flags & MPG123_CRC) != 0;
        frame.copyright = (info.flags & MPG123_COPYRIGHT) != 0;
        frame.privateBit = (info.flags & MPG123_PRIVATE) != 0;
        frame.original = (info.flags & MPG123_ORIGINAL) != 0;
        frame.mainDataBegin = readMainDataBegin(handle.get(), frame);
        result.frames.push_back(frame);

        off_t number = 0;
        unsigned char* audio = nullptr;
        std::size_t audioBytes = 0;
        status = mpg123_framebyframe_decode(handle.get(), &number, &audio, &audioBytes);
        if (status != MPG123_OK && status != MPG123_NEW_FORMAT) {
            result.error = failure(handle.get(), "decode");
            break;
        }
        if (bytesPerSampleFrame > 0) {
            result.decodedSamples += audioBytes / bytesPerSampleFrame;
        }
        if (keepSamples) {
            const std::size_t first = result.pcm.size();
            result.pcm.resize(first + audioBytes / 2);
            std::memcpy(result.pcm.data() + first, audio, audioBytes / 2 * 2);
        }
    }
    return result;
}

Stream inspectFile(const std::filesystem::path& path, Pcm pcm) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        Stream result;
        result.error = "cannot open " + path.string();
        return result;
    }
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file),
                                           std::istreambuf_iterator<char>()};
    return inspect(bytes, pcm);
}

bool hasTagFrame(std::span<const unsigned char> bytes) {
    std::size_t pos = 0;
    // An ID3v2 tag may come first; its size is stored 7 bits per byte.
    if (bytes.size() >= 10 && std::memcmp(bytes.data(), "ID3", 3) == 0) {
        pos = 10 + ((bytes[6] & 0x7Fu) << 21 | (bytes[7] & 0x7Fu) << 14 | (bytes[8] & 0x7Fu) << 7 |
                    (bytes[9] & 0x7Fu));
    }
    if (pos + 4 > bytes.size() || bytes[pos] != 0xFF || (bytes[pos + 1] & 0xE0) != 0xE0) {
        return false;
    }
    const bool mpeg1 = (bytes[pos + 1] & 0x18) == 0x18;
    const bool crc = (bytes[pos + 1] & 0x01) == 0;
    const bool mono = (bytes[pos + 3] & 0xC0) == 0xC0;
    const std::size_t sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);

    auto tagAt = [&](std::size_t at, const char* tag) {
        return at + 4 <= bytes.size() && std::memcmp(bytes.data() + at, tag, 4) == 0;
    };
    const std::size_t xing = pos + 4 + (crc ? 2 : 0) + sideInfo;
    return tagAt(xing, "Xing") || tagAt(xing, "Info") || tagAt(pos + 36, "VBRI");
}

}  // namespace mp3
