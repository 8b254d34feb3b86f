// Looks inside MP3 data the way a player would, through libmpg123, and reports every frame
// header and how much audio came out, so tests can check what an encoder produced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace mp3 {

enum class MpegVersion { Mpeg1, Mpeg2, Mpeg25 };
enum class ChannelMode { Stereo, JointStereo, DualChannel, Mono };

struct Frame {
    std::size_t offset = 0;  // of the frame header within the inspected bytes
    std::size_t size = 0;    // header included
    MpegVersion version = MpegVersion::Mpeg1;
    int layer = 0;
    long sampleRate = 0;
    ChannelMode mode = ChannelMode::Stereo;
    int bitrateKbps = 0;
    bool crc = false;
    bool copyright = false;
    bool privateBit = false;
    bool original = false;
    // Bytes of main data taken from earlier frames (the bit reservoir); Layer III only.
    int mainDataBegin = 0;
};

struct Stream {
    std::vector<Frame> frames;
    std::uint64_t decodedSamples = 0;  // per channel, no encoder delay or padding removed
    int channels = 0;
    // The decoded audio, interleaved, when libmpg123 decoded to signed 16-bit samples.
    std::vector<std::int16_t> pcm;
    std::size_t inputSize = 0;
    // Empty when libmpg123 read and decoded everything without complaint.
    std::string error;

    // True when the frames start at byte 0 and follow each other up to the last byte:
    // no junk, no tags and no partial frame anywhere.
    bool framesCoverInput() const;
};

// Whether the decoded audio is kept in Stream::pcm; hours of it would not fit in memory.
enum class Pcm { Keep, Drop };

// Every frame is reported as audio, an Xing/Info frame included (see hasTagFrame).
// libmpg123 confirms a first frame by the header that follows it, so data holding a single
// frame reports no frames at all.
Stream inspect(std::span<const unsigned char> bytes, Pcm pcm = Pcm::Keep);
Stream inspectFile(const std::filesystem::path& path, Pcm pcm = Pcm::Keep);

// True when the first frame is an Xing, Info (LAME) or VBRI tag frame rather than audio.
bool hasTagFrame(std::span<const unsigned char> bytes);

}  // namespace mp3
