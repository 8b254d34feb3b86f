// Records S16_LE stereo 44100 Hz from an ALSA PCM on a thread of its own and tells how loud
// the sound was over a stretch of time. With PulseAudioServer, the PCM "pulse" records the
// null sink's monitor, i.e. everything played in the test.
#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

class AlsaCapture {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr unsigned kRate = 44100;
    static constexpr unsigned kChannels = 2;

    // Opens the PCM and starts recording; throws std::runtime_error when it cannot.
    explicit AlsaCapture(const std::string& pcmName = "pulse");
    ~AlsaCapture();

    AlsaCapture(const AlsaCapture&) = delete;
    AlsaCapture& operator=(const AlsaCapture&) = delete;

    // Blocks until audio captured at `t` or later has arrived; false after `bound`.
    bool waitUntilCaptured(Clock::time_point t, std::chrono::milliseconds bound) const;

    // RMS of the samples captured in [from, to), 1.0 being a full-scale square wave; nothing
    // when no sample falls in that span.
    std::optional<double> rms(Clock::time_point from, Clock::time_point to) const;

    // Capture time of the last sample louder than `threshold` (full scale 1.0) within
    // [from, to).
    std::optional<Clock::time_point> lastLouderThan(double threshold, Clock::time_point from,
                                                    Clock::time_point to) const;

    // Period length the PCM actually uses.
    std::chrono::microseconds period() const;
    // The first read error, if any; recording stops there.
    std::string error() const;

private:
    struct PcmCloser {
        void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
    };

    // One period, stamped with the time it was read.
    struct Block {
        Clock::time_point lastFrameTime;
        std::vector<int16_t> samples;
    };

    void record();
    template <typename Visit>
    void forEachFrame(Clock::time_point from, Clock::time_point to, Visit visit) const;

    std::unique_ptr<snd_pcm_t, PcmCloser> pcm_;
    snd_pcm_uframes_t periodFrames_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<Block> blocks_;
    std::string error_;
    std::thread thread_;
};

}  // namespace test_support
