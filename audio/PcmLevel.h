// The level of a stretch of captured 16-bit PCM in dBFS: its peak and its RMS, both against
// full scale, so a full-scale sine reads 0 dBFS peak and about -3 dBFS RMS.
#pragma once

#include <cstdint>
#include <span>

// What silence reads: 16-bit PCM cannot resolve much below it.
inline constexpr float kLevelFloorDb = -90.0F;

struct PcmLevel {
    float peakDb = kLevelFloorDb;
    float rmsDb = kLevelFloorDb;
};

// Over every sample of `samples` (channels interleaved); allocates nothing.
PcmLevel measurePcmLevel(std::span<const std::int16_t> samples);
