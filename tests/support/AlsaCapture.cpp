#include "support/AlsaCapture.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace test_support {
namespace {

constexpr double kFullScale = 32768.0;

AlsaCapture::Clock::duration framesToDuration(long long frames) {
    return std::chrono::duration_cast<AlsaCapture::Clock::duration>(
        std::chrono::nanoseconds(frames * 1000000000LL / AlsaCapture::kRate));
}

}  // namespace

AlsaCapture::AlsaCapture(const std::string& pcmName) {
    snd_pcm_t* raw = nullptr;
    int rc = snd_pcm_open(&raw, pcmName.c_str(), SND_PCM_STREAM_CAPTURE, 0);
    if (rc < 0)
        throw std::runtime_error("cannot open ALSA PCM " + pcmName + ": " + snd_strerror(rc));
    pcm_.reset(raw);
    // A short period keeps the capture times close to when the sound was made.
    rc = snd_pcm_set_params(raw, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, kChannels,
                            kRate, 1, 40000);
    snd_pcm_uframes_t bufferFrames = 0;
    if (rc >= 0)
        rc = snd_pcm_get_params(raw, &bufferFrames, &periodFrames_);
    if (rc >= 0)
        rc = snd_pcm_start(raw);
    if (rc < 0)
        throw std::runtime_error("cannot set up capture on " + pcmName + ": " + snd_strerror(rc));
    thread_ = std::thread(&AlsaCapture::record, this);
}

AlsaCapture::~AlsaCapture() {
    stop_ = true;
    thread_.join();
}

void AlsaCapture::record() {
    std::vector<int16_t> buffer(periodFrames_ * kChannels);
    while (!stop_) {
        int ready = snd_pcm_wait(pcm_.get(), 100);
        if (ready == 0)
            continue;
        snd_pcm_sframes_t frames =
            ready < 0 ? ready : snd_pcm_readi(pcm_.get(), buffer.data(), periodFrames_);
        Clock::time_point now = Clock::now();
        if (frames == -EAGAIN)
            continue;
        if (frames < 0) {
            int rc = snd_pcm_recover(pcm_.get(), static_cast<int>(frames), 1);
            if (rc >= 0)
                rc = snd_pcm_start(pcm_.get());
            if (rc < 0) {
                std::lock_guard lock(mutex_);
                error_ = std::string("capture failed: ") + snd_strerror(rc);
                arrived_.notify_all();
                return;
            }
            continue;
        }
        // Stamped when read rather than by the delay ALSA reports: a monitor source reports
        // the sink's latency although the sink hands it each block as soon as it renders it.
        Block block{now,
                    std::vector<int16_t>(buffer.begin(),
                                         buffer.begin() + static_cast<long>(frames) * kChannels)};
        std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(block));
        arrived_.notify_all();
    }
}

bool AlsaCapture::waitUntilCaptured(Clock::time_point t, std::chrono::milliseconds bound) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, bound, [&] {
        return !error_.empty() || (!blocks_.empty() && blocks_.back().lastFrameTime >= t);
    }) && error_.empty();
}

template <typename Visit>
void AlsaCapture::forEachFrame(Clock::time_point from, Clock::time_point to, Visit visit) const {
    std::lock_guard lock(mutex_);
    for (const Block& block : blocks_) {
        auto frames = static_cast<long long>(block.samples.size() / kChannels);
        Clock::time_point first = block.lastFrameTime - framesToDuration(frames - 1);
        if (block.lastFrameTime < from || first >= to)
            continue;
        for (long long i = 0; i < frames; ++i) {
            Clock::time_point t = first + framesToDuration(i);
            if (t >= from && t < to)
                visit(&block.samples[static_cast<size_t>(i) * kChannels], t);
        }
    }
}

std::optional<double> AlsaCapture::rms(Clock::time_point from, Clock::time_point to) const {
    double sum = 0;
    long long count = 0;
    forEachFrame(from, to, [&](const int16_t* frame, Clock::time_point) {
        for (unsigned c = 0; c < kChannels; ++c) {
            double v = frame[c] / kFullScale;
            sum += v * v;
        }
        count += kChannels;
    });
    if (count == 0)
        return std::nullopt;
    return std::sqrt(sum / static_cast<double>(count));
}

std::optional<AlsaCapture::Clock::time_point> AlsaCapture::lastLouderThan(
    double threshold, Clock::time_point from, Clock::time_point to) const {
    std::optional<Clock::time_point> last;
    forEachFrame(from, to, [&](const int16_t* frame, Clock::time_point t) {
        for (unsigned c = 0; c < kChannels; ++c) {
            if (std::abs(frame[c] / kFullScale) > threshold)
                last = t;
        }
    });
    return last;
}

std::chrono::microseconds AlsaCapture::period() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(
        framesToDuration(static_cast<long long>(periodFrames_)));
}

std::string AlsaCapture::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

}  // namespace test_support
