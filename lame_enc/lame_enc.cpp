#include "lame_enc.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/UniqueHandle.h"

namespace {

constexpr int kChannels = 2;
constexpr BYTE kDllMajorVersion = 1;
constexpr BYTE kDllMinorVersion = 32;

using LamePtr = UniqueHandle<lame_global_flags, lame_close>;

struct Stream {
    LamePtr lame;
    DWORD bufferSize = 0;
    // Set once flushed, or once libmp3lame failed mid-chunk and its state can't be trusted.
    bool finished = false;
};

// Handles are numbers looked up here, so a stale or invented one is refused, not dereferenced.
class StreamTable {
public:
    HBE_STREAM add(std::unique_ptr<Stream> stream) {
        std::lock_guard lock(mutex_);
        const HBE_STREAM handle = next_++;
        streams_.emplace(handle, std::move(stream));
        return handle;
    }

    Stream* find(HBE_STREAM handle) {
        std::lock_guard lock(mutex_);
        const auto it = streams_.find(handle);
        return it == streams_.end() ? nullptr : it->second.get();
    }

    std::unique_ptr<Stream> remove(HBE_STREAM handle) {
        std::lock_guard lock(mutex_);
        const auto it = streams_.find(handle);
        if (it == streams_.end()) {
            return nullptr;
        }
        auto stream = std::move(it->second);
        streams_.erase(it);
        return stream;
    }

private:
    std::mutex mutex_;
    std::unordered_map<HBE_STREAM, std::unique_ptr<Stream>> streams_;
    HBE_STREAM next_ = 1;
};

StreamTable& streams() {
    static StreamTable table;
    return table;
}

void discardReport(const char*, va_list) {}

bool isMpegSampleRate(DWORD rate) {
    switch (rate) {
        case 8000:
        case 11025:
        case 12000:
        case 16000:
        case 22050:
        case 24000:
        case 32000:
        case 44100:
        case 48000:
            return true;
        default:
            return false;
    }
}

std::optional<MPEG_mode> toLameMode(LONG mode) {
    switch (mode) {
        case BE_MP3_MODE_STEREO:
            return STEREO;
        case BE_MP3_MODE_JSTEREO:
            return JOINT_STEREO;
        case BE_MP3_MODE_DUALCHANNEL:
            return DUAL_CHANNEL;
        default:
            return std::nullopt;
    }
}

bool isConstantBitratePreset(LONG preset) {
    return preset == LQP_NOPRESET || preset == LQP_NORMAL_QUALITY || preset == LQP_CBR;
}

// libmp3lame's worst case is 1.25 bytes per sample and channel plus 7200; when it resamples
// upwards it encodes more samples than it was given, so scale to the output rate.
DWORD outputBound(DWORD inRate, DWORD outRate) {
    const uint64_t perChannel = BE_MAX_CHUNK_SAMPLES / kChannels;
    const uint64_t encoded = (perChannel * std::max(inRate, outRate) + inRate - 1) / inRate;
    return static_cast<DWORD>((encoded * 5 + 3) / 4 + 7200);
}

BE_ERR checkConfig(const BE_CONFIG& config) {
    if (config.dwConfig != BE_CONFIG_LAME) {
        return BE_ERR_INVALID_FORMAT;
    }
    const auto& lhv1 = config.format.LHV1;
    if (lhv1.dwStructVersion != CURRENT_STRUCT_VERSION || lhv1.dwStructSize != sizeof(BE_CONFIG)) {
        return BE_ERR_INVALID_FORMAT;
    }
    const bool rateOk = isMpegSampleRate(lhv1.dwSampleRate) &&
                        (lhv1.dwReSampleRate == 0 || isMpegSampleRate(lhv1.dwReSampleRate));
    const bool cbrOk = isConstantBitratePreset(lhv1.nPreset) && !lhv1.bEnableVBR &&
                       !lhv1.bWriteVBRHeader && lhv1.dwBitrate != 0;
    const bool versionOk = lhv1.dwMpegVersion == MPEG1 || lhv1.dwMpegVersion == MPEG2;
    if (!rateOk || !cbrOk || !versionOk || !toLameMode(lhv1.nMode)) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    return BE_ERR_SUCCESSFUL;
}

// Applies the checked configuration; false when libmp3lame refuses or would deviate from it.
bool applyConfig(const BE_CONFIG& config, lame_global_flags* lame) {
    const auto& lhv1 = config.format.LHV1;
    lame_set_errorf(lame, discardReport);
    lame_set_debugf(lame, discardReport);
    lame_set_msgf(lame, discardReport);

    bool ok = lame_set_num_channels(lame, kChannels) == 0 &&
              lame_set_in_samplerate(lame, static_cast<int>(lhv1.dwSampleRate)) == 0 &&
              lame_set_out_samplerate(lame, static_cast<int>(lhv1.dwReSampleRate)) == 0 &&
              lame_set_mode(lame, *toLameMode(lhv1.nMode)) == 0 &&
              lame_set_VBR(lame, vbr_off) == 0 &&
              lame_set_brate(lame, static_cast<int>(lhv1.dwBitrate)) == 0 &&
              lame_set_extension(lame, lhv1.bPrivate ? 1 : 0) == 0 &&
              lame_set_error_protection(lame, lhv1.bCRC ? 1 : 0) == 0 &&
              lame_set_copyright(lame, lhv1.bCopyright ? 1 : 0) == 0 &&
              lame_set_original(lame, lhv1.bOriginal ? 1 : 0) == 0 &&
              lame_set_disable_reservoir(lame, lhv1.bNoRes ? 1 : 0) == 0 &&
              lame_set_strict_ISO(lame, lhv1.bStrictIso ? 1 : 0) == 0 &&
              lame_set_emphasis(lame, static_cast<int>(lhv1.dwEmphasis)) == 0 &&
              lame_set_bWriteVbrTag(lame, 0) == 0;
    // An Info tag would need its first frame rewritten at the end, and an ID3 tag would put
    // non-audio bytes in the stream; both break output that is only ever appended and sliced.
    lame_set_write_id3tag_automatic(lame, 0);

    const int quality = lhv1.nQuality & 0xFF;
    if (quality == ((~lhv1.nQuality >> 8) & 0xFF)) {
        ok = ok && quality <= 9 && lame_set_quality(lame, quality) == 0;
    }
    if (!ok || lame_init_params(lame) < 0) {
        return false;
    }
    // libmp3lame quietly moves an unusable bitrate or rate to a nearby one; that is not
    // what was asked for.
    return lame_get_brate(lame) == static_cast<int>(lhv1.dwBitrate) &&
           (lhv1.dwReSampleRate == 0 ||
            lame_get_out_samplerate(lame) == static_cast<int>(lhv1.dwReSampleRate)) &&
           lame_get_VBR(lame) == vbr_off;
}

Stream* openStream(HBE_STREAM handle) {
    Stream* stream = streams().find(handle);
    return stream != nullptr && !stream->finished ? stream : nullptr;
}

}  // namespace

extern "C" {

BEDEF BE_ERR beInitStream(BE_CONFIG* pbeConfig, DWORD* dwSamples, DWORD* dwBufferSize,
                          HBE_STREAM* phbeStream) {
    if (phbeStream != nullptr) {
        *phbeStream = 0;
    }
    if (pbeConfig == nullptr || dwSamples == nullptr || dwBufferSize == nullptr ||
        phbeStream == nullptr) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    if (const BE_ERR err = checkConfig(*pbeConfig); err != BE_ERR_SUCCESSFUL) {
        return err;
    }

    auto stream = std::make_unique<Stream>();
    stream->lame.reset(lame_init());
    if (!stream->lame) {
        return BE_ERR_NO_MORE_HANDLES;
    }
    if (!applyConfig(*pbeConfig, stream->lame.get())) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    stream->bufferSize =
        outputBound(pbeConfig->format.LHV1.dwSampleRate,
                    static_cast<DWORD>(lame_get_out_samplerate(stream->lame.get())));

    *dwSamples = BE_MAX_CHUNK_SAMPLES;
    *dwBufferSize = stream->bufferSize;
    *phbeStream = streams().add(std::move(stream));
    return BE_ERR_SUCCESSFUL;
}

BEDEF BE_ERR beEncodeChunk(HBE_STREAM hbeStream, DWORD nSamples, short* pSamples,
                           unsigned char* pOutput, DWORD* pdwOutput) {
    if (pdwOutput != nullptr) {
        *pdwOutput = 0;
    }
    Stream* stream = openStream(hbeStream);
    if (stream == nullptr) {
        return BE_ERR_INVALID_HANDLE;
    }
    if (pdwOutput == nullptr || pOutput == nullptr || (nSamples > 0 && pSamples == nullptr) ||
        nSamples % kChannels != 0 || nSamples > BE_MAX_CHUNK_SAMPLES) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    if (nSamples == 0) {
        return BE_ERR_SUCCESSFUL;
    }

    // The capacity passed is the size the caller was told to provide: libmp3lame checks it
    // and fails instead of writing past it, which the chunk limit makes unreachable.
    const int written = lame_encode_buffer_interleaved(
        stream->lame.get(), pSamples, static_cast<int>(nSamples / kChannels), pOutput,
        static_cast<int>(stream->bufferSize));
    if (written < 0) {
        stream->finished = true;
        return written == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    *pdwOutput = static_cast<DWORD>(written);
    return BE_ERR_SUCCESSFUL;
}

BEDEF BE_ERR beDeinitStream(HBE_STREAM hbeStream, unsigned char* pOutput, DWORD* pdwOutput) {
    if (pdwOutput != nullptr) {
        *pdwOutput = 0;
    }
    Stream* stream = openStream(hbeStream);
    if (stream == nullptr) {
        return BE_ERR_INVALID_HANDLE;
    }
    if (pOutput == nullptr || pdwOutput == nullptr) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    stream->finished = true;
    const int written =
        lame_encode_flush(stream->lame.get(), pOutput, static_cast<int>(stream->bufferSize));
    if (written < 0) {
        return written == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    *pdwOutput = static_cast<DWORD>(written);
    return BE_ERR_SUCCESSFUL;
}

BEDEF BE_ERR beCloseStream(HBE_STREAM hbeStream) {
    return streams().remove(hbeStream) ? BE_ERR_SUCCESSFUL : BE_ERR_INVALID_HANDLE;
}

BEDEF void beVersion(BE_VERSION* pbeVersion) {
    if (pbeVersion == nullptr) {
        return;
    }
    lame_version_t engine{};
    get_lame_version_numerical(&engine);

    std::memset(pbeVersion, 0, sizeof(*pbeVersion));
    pbeVersion->byDLLMajorVersion = kDllMajorVersion;
    pbeVersion->byDLLMinorVersion = kDllMinorVersion;
    pbeVersion->byMajorVersion = static_cast<BYTE>(engine.major);
    pbeVersion->byMinorVersion = static_cast<BYTE>(engine.minor);
    pbeVersion->byDay = 1;
    pbeVersion->byMonth = 9;
    pbeVersion->wYear = 2025;
    std::strncpy(pbeVersion->zHomepage, "https://lame.sourceforge.io/", BE_MAX_HOMEPAGE);
    pbeVersion->byAlphaLevel = static_cast<BYTE>(engine.alpha);
    pbeVersion->byBetaLevel = static_cast<BYTE>(engine.beta);
}

BEDEF BE_ERR beWriteVBRHeader(const char*) {
    return BE_ERR_INVALID_FORMAT;
}

BEDEF BE_ERR beWriteInfoTag(HBE_STREAM hbeStream, const char*) {
    return beCloseStream(hbeStream);
}

}  // extern "C"
