// The level of the audio a capture device read last, and how long the input has stayed below
// kSignalDb: published by the thread that reads the audio and polled by the window.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/PcmLevel.h"
#include "platform/WaveIn.h"

// A peak that stays below this carries no signal: a microphone unplugged, muted or turned down.
inline constexpr float kSignalDb = -50.0F;

// One thread publishes at a time (the device's reader); any thread reads. Publishing takes no
// lock and allocates nothing; a read retries while a publication is under way.
class LevelMeter : public LevelListener {
public:
    struct Reading {
        PcmLevel level;
        // Counts publications, so a reader sees whether anything new has come.
        std::uint32_t sequence = 0;
        // Frames published since the last reset, and those since the peak last reached
        // kSignalDb (or since the reset).
        std::uint64_t frames = 0;
        std::uint64_t quietFrames = 0;
    };

    // Publishes the level of the `frames` frames just read.
    void heard(std::span<const std::int16_t> samples, std::uint32_t frames) override;
    Reading read() const;
    // Back to nothing heard; only while nobody publishes.
    void reset();

private:
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
    static_assert(std::atomic<float>::is_always_lock_free);

    // Odd while a publication is under way.
    std::atomic<std::uint32_t> version_{0};
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<float> peakDb_{kLevelFloorDb};
    std::atomic<float> rmsDb_{kLevelFloorDb};
    std::atomic<std::uint64_t> frames_{0};
    std::atomic<std::uint64_t> signalEnd_{0};
};
