// Compares the sound a recording receives with a monotonic clock, so that audio lost where the
// back end cannot count it (a paused process, the system's queue overrun, a card away) is found,
// and each loss, however many blocks it spans, is one event with its whole length.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

// Never the wall clock, which the organiser or the network may set on or back mid-exam.
using MonotonicClock = std::function<std::chrono::steady_clock::time_point()>;

MonotonicClock steadyClock();

// The recording thread's alone while capture runs (restart is called before it starts).
class CaptureGapWatch {
public:
    explicit CaptureGapWatch(MonotonicClock clock = steadyClock()) : clock_(std::move(clock)) {}

    // A new recording, not started yet.
    void restart();
    // The card records from now; its first sound may come back up to `firstSoundWithin` late
    // with nothing lost. Only the recording's first start sets where the clock and the sound
    // begin; until one does, the first block's hand-back is taken as its start. A start after a
    // lost card keeps the clock running: the time away is lost sound.
    void onCaptureStarted(std::chrono::milliseconds firstSoundWithin);
    // Audio the back end dropped and counted; joins the event open, or opens one.
    void onOverrun(std::uint64_t lostFrames);
    // A block of `frames` is handed back now. The frames lost by the event this block ends: the
    // first block after the loss that shows no further loss, when more than half a second is
    // missing or the back end counted any.
    std::optional<std::uint64_t> onBlock(std::uint64_t frames);
    // An event began at or before the last block and has not been told yet.
    bool inGap() const { return inGap_; }
    // Once capture has stopped for good: the frames lost since the last block, with the event
    // still open, when more than half a second is missing or the back end counted any.
    std::optional<std::uint64_t> onEnd();

private:
    MonotonicClock clock_;
    bool started_ = false;  // the origin is set
    bool sawBlock_ = false;
    bool originAtStart_ = false;  // set by the capture's start, not by the first block
    double startSeconds_ = 0;     // how late the first sound may come after the start
    std::chrono::steady_clock::time_point origin_;
    std::uint64_t received_ = 0;  // frames since the origin, or the first block's start
    double lastElapsed_ = 0;      // seconds from the origin to the last block
    // Seconds by which the received sound trails the clock, with no loss: the lowest trail seen,
    // which follows the card's clock drifting slower than the computer's.
    double reference_ = 0;
    double lastShortfall_ = 0;
    bool inGap_ = false;
    std::uint64_t overrunFrames_ = 0;  // counted by the back end since the event began
    bool overrunSinceBlock_ = false;
};
