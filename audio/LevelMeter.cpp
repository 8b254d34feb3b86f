#include "audio/LevelMeter.h"

void LevelMeter::heard(std::span<const std::int16_t> samples, std::uint32_t frames) {
    const PcmLevel level = measurePcmLevel(samples);
    const std::uint32_t version = version_.load(std::memory_order_relaxed);
    version_.store(version + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);

    const std::uint64_t total = frames_.load(std::memory_order_relaxed) + frames;
    peakDb_.store(level.peakDb, std::memory_order_relaxed);
    rmsDb_.store(level.rmsDb, std::memory_order_relaxed);
    frames_.store(total, std::memory_order_relaxed);
    if (level.peakDb >= kSignalDb) {
        signalEnd_.store(total, std::memory_order_relaxed);
    }
    sequence_.store(sequence_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);

    version_.store(version + 2, std::memory_order_release);
}

LevelMeter::Reading LevelMeter::read() const {
    for (;;) {
        const std::uint32_t before = version_.load(std::memory_order_acquire);
        Reading reading;
        reading.level = {peakDb_.load(std::memory_order_relaxed),
                         rmsDb_.load(std::memory_order_relaxed)};
        reading.sequence = sequence_.load(std::memory_order_relaxed);
        reading.frames = frames_.load(std::memory_order_relaxed);
        reading.quietFrames = reading.frames - signalEnd_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1U) == 0 && version_.load(std::memory_order_relaxed) == before) {
            return reading;
        }
    }
}

void LevelMeter::reset() {
    const std::uint32_t version = version_.load(std::memory_order_relaxed);
    version_.store(version + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    peakDb_.store(kLevelFloorDb, std::memory_order_relaxed);
    rmsDb_.store(kLevelFloorDb, std::memory_order_relaxed);
    frames_.store(0, std::memory_order_relaxed);
    signalEnd_.store(0, std::memory_order_relaxed);
    version_.store(version + 2, std::memory_order_release);
}
