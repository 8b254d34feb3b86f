#include "exam/CaptureGapWatch.h"

#include <algorithm>
#include <cmath>

#include "audio/RecordingFormat.h"

namespace {

constexpr double kRate = recording_format::kSampleRate;
// Shorter shortfalls are a block handed back late, not lost sound.
constexpr double kGapSeconds = 0.5;
// Between two blocks the shortfall moves by a block's hand-back jitter when nothing is lost; more
// is sound still being lost, or a queue that kept it still draining.
constexpr double kSteadySeconds = 0.25;
// How fast the card's clock may fall behind the computer's before that counts as loss; cards
// are within a few hundredths of a percent.
constexpr double kDrift = 0.001;

}  // namespace

MonotonicClock steadyClock() {
    return [] { return std::chrono::steady_clock::now(); };
}

void CaptureGapWatch::restart() {
    started_ = false;
    sawBlock_ = false;
    originAtStart_ = false;
    received_ = 0;
    lastElapsed_ = 0;
    reference_ = 0;
    lastShortfall_ = 0;
    inGap_ = false;
    overrunFrames_ = 0;
    overrunSinceBlock_ = false;
}

void CaptureGapWatch::onOverrun(std::uint64_t lostFrames) {
    inGap_ = true;
    overrunFrames_ += lostFrames;
    overrunSinceBlock_ = true;
}

void CaptureGapWatch::onCaptureStarted(std::chrono::milliseconds firstSoundWithin) {
    if (!started_) {
        started_ = true;
        originAtStart_ = true;
        startSeconds_ = std::chrono::duration<double>(firstSoundWithin).count();
        origin_ = clock_();
    }
}

std::optional<std::uint64_t> CaptureGapWatch::onBlock(std::uint64_t frames) {
    const auto now = clock_();
    const bool first = !sawBlock_;
    sawBlock_ = true;
    if (!started_) {
        started_ = true;
        origin_ = now;
    }
    const double elapsed = std::chrono::duration<double>(now - origin_).count();
    received_ += frames;
    const double trail = elapsed - static_cast<double>(received_) / kRate;
    // The first block's trail is how late the sound began after the start, unless the process
    // stood still before that block came. A later block handed back sooner shows a lower one.
    if (first) {
        reference_ = originAtStart_ ? std::min(trail, startSeconds_) : trail;
    } else {
        reference_ = std::min(trail, reference_ + kDrift * (elapsed - lastElapsed_));
    }
    lastElapsed_ = elapsed;
    const double shortfall = trail - reference_;
    const bool steady =
        !overrunSinceBlock_ && std::abs(shortfall - lastShortfall_) <= kSteadySeconds;
    lastShortfall_ = shortfall;
    const bool opens = !inGap_ && shortfall > kGapSeconds;
    overrunSinceBlock_ = false;
    if (!inGap_ || opens || !steady) {
        inGap_ = inGap_ || opens;
        return std::nullopt;
    }
    inGap_ = false;
    const auto lost =
        std::max(static_cast<std::uint64_t>(std::llround(shortfall * kRate)), overrunFrames_);
    const bool counted = overrunFrames_ > 0;
    overrunFrames_ = 0;
    // What is told is lost for good: the sound that follows is measured from here.
    reference_ = trail;
    lastShortfall_ = 0;
    if (shortfall <= kGapSeconds && !counted) {
        return std::nullopt;
    }
    return lost;
}

std::optional<std::uint64_t> CaptureGapWatch::onEnd() {
    if (!started_) {
        return std::nullopt;
    }
    const double elapsed = std::chrono::duration<double>(clock_() - origin_).count();
    const double shortfall =
        elapsed - static_cast<double>(received_) / kRate - (sawBlock_ ? reference_ : startSeconds_);
    const bool counted = overrunFrames_ > 0;
    if (shortfall <= kGapSeconds && !counted) {
        return std::nullopt;
    }
    return std::max(static_cast<std::uint64_t>(std::llround(std::max(shortfall, 0.0) * kRate)),
                    overrunFrames_);
}
