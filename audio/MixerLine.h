// One source line of a capture device's recording destination, as its open mixer reported it:
// the line that is unmuted, set to the organiser's level and made the recording input.
#pragma once

#include <cstdint>
#include <string>

#include "platform/MixerApi.h"

// Created by MixerDevice::open and deleted by its close; the mixer it was made with must stay
// open while the line is used. Takes no lock: use it on the thread that opened the mixer.
class MixerLine {
public:
    MixerLine(const MixerLineInfo& info, OpenMixer& mixer) : info_(info), mixer_(&mixer) {}

    const MixerLineInfo& info() const { return info_; }
    const std::string& name() const { return info_.name; }

    // Each returns the first failing mixer result, or that of the final write.
    MixerResult unmute();
    MixerResult setVolume(std::uint32_t percent);
    // Marks this line selected in the destination's input list; silently does nothing when
    // there is no such list or it cannot be read.
    void selectAsRecordingInput();

private:
    std::uint32_t channelsFor(const MixerControl& control) const;

    MixerLineInfo info_;
    OpenMixer* mixer_;
};
