// The one format the recorder captures and records: 16-bit stereo PCM at 44,100 Hz, handed over
// in blocks of 2 seconds, encoded once as MP3 at 128 kbit/s.
#pragma once

#include <cstdint>

#include "platform/WaveIn.h"

namespace recording_format {

inline constexpr std::uint32_t kCaptureFlag = WAVE_FORMAT_4S16;
inline constexpr WaveFormat kCapture = kWaveFormat4S16;
inline constexpr std::uint32_t kSampleRate = kCapture.nSamplesPerSec;
inline constexpr std::uint32_t kBlockSeconds = 2;
inline constexpr std::uint32_t kBlockBytes = kCapture.nAvgBytesPerSec * kBlockSeconds;
inline constexpr std::uint32_t kBitrateKbps = 128;
inline constexpr std::uint64_t kMp3BytesPerSecond = kBitrateKbps * 1000 / 8;

}  // namespace recording_format
