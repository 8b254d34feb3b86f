// Keeps one sound card recording for its level alone while no exam runs, so the organiser can
// try the microphone before the exam; what it records goes nowhere.
#pragma once

#include <cstdint>

#include "audio/AudioSink.h"

class CaptureDevice;

// Window's thread only. The devices it is given must outlive it, and nobody else may record on
// them while it monitors: the exam takes a card only after stop.
class SoundCheck {
public:
    SoundCheck() = default;
    ~SoundCheck();
    SoundCheck(const SoundCheck&) = delete;
    SoundCheck& operator=(const SoundCheck&) = delete;

    // Monitors `device` (null: none), letting go of the one before. A card that will not open,
    // or goes away, stays closed and is tried again on a later call. Never throws.
    void follow(CaptureDevice* device);
    // Closes the monitored card, if any.
    void stop();
    // The card monitored now, or null.
    const CaptureDevice* device() const { return device_; }

private:
    class Discard final : public AudioSink {
    public:
        void onAudioData(const void*, std::uint32_t) override {}
    };

    // About two seconds at the window's ten calls a second.
    static constexpr int kCallsBeforeRetry = 20;

    Discard discard_;
    CaptureDevice* device_ = nullptr;
    CaptureDevice* failed_ = nullptr;
    int callsSinceFailure_ = 0;
};
