#include "audio/Mp3Stream.h"

#include <cstring>

#include "audio/AudioError.h"

Mp3Stream::Mp3Stream(std::uint32_t bitrate, std::uint32_t inputRate, std::uint32_t outputRate,
                     EncoderLibrary& library)
    : library_(library) {
    library_.load();

    // Value-initialising the record would zero only the union's first, shorter member.
    std::memset(&config_, 0, sizeof config_);
    config_.dwConfig = BE_CONFIG_LAME;
    auto& lame = config_.format.LHV1;
    lame.dwStructVersion = CURRENT_STRUCT_VERSION;
    lame.dwStructSize = sizeof(BE_CONFIG);
    lame.dwSampleRate = inputRate;
    lame.dwReSampleRate = outputRate;
    lame.nMode = BE_MP3_MODE_JSTEREO;
    lame.dwBitrate = bitrate;
    lame.dwMaxBitrate = 0;
    lame.nPreset = LQP_CBR;
    lame.dwMpegVersion = bitrate > 32 ? MPEG1 : MPEG2;
    lame.bPrivate = 1;
    lame.bCRC = 0;
    lame.bCopyright = 1;
    lame.bOriginal = 1;
    lame.bNoRes = 1;

    // The library's DWORD is 32 bits on every system, if not always named uint32_t.
    DWORD samplesPerChunk = 0;
    DWORD outputBufferSize = 0;
    if (library_.entryPoints().initStream(&config_, &samplesPerChunk, &outputBufferSize,
                                          &stream_) != BE_ERR_SUCCESSFUL) {
        throw AudioError("ERRORR in beInitStream.");
    }
    samplesPerChunk_ = samplesPerChunk;
    outputBufferSize_ = outputBufferSize;
}

Mp3Stream::~Mp3Stream() {
    library_.entryPoints().closeStream(stream_);
}

std::uint32_t Mp3Stream::encode(const short* samples, std::uint32_t sampleCount,
                                unsigned char* output, std::uint32_t* outputBytes) {
    // The published signature takes the samples as non-const; the library only reads them.
    DWORD written = 0;
    const std::uint32_t result = library_.entryPoints().encodeChunk(
        stream_, sampleCount, const_cast<short*>(samples), output, &written);
    *outputBytes = written;
    return result;
}
