// The mixer of one capture device: opened with the device's id, it lists the usable source
// lines of the recording destination so one of them can be prepared as the recording input.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "audio/MixerLine.h"
#include "platform/MixerApi.h"

// The mixer layer must outlive the device. The lines belong to the device between open and
// close: references to them must not be used after close.
class MixerDevice {
public:
    MixerDevice(std::uint32_t deviceId, MixerApi& api) : deviceId_(deviceId), api_(api) {}
    ~MixerDevice() { close(); }
    MixerDevice(const MixerDevice&) = delete;
    MixerDevice& operator=(const MixerDevice&) = delete;

    // Opens the mixer and lists its lines afresh; does nothing when already open.
    // Throws AudioError "Can't open Mixer Device.".
    void open();
    // The same, for the wave-in device that now stands at `deviceId`, which an open mixer keeps
    // until it is closed.
    void open(std::uint32_t deviceId);
    // Deletes the lines and closes the mixer; does nothing when closed.
    void close();
    // The first line named exactly `name`. Throws AudioError "Mixer's line not found." for a
    // null name or no such line; does not open the mixer.
    MixerLine& findLine(const char* name);

    // The source lines in source order, except the synthesizer; empty while closed.
    const std::vector<std::unique_ptr<MixerLine>>& lines() const { return lines_; }

private:
    bool openUnderLock(std::optional<std::uint32_t> deviceId);
    void fillLines();

    std::uint32_t deviceId_;
    std::unique_ptr<OpenMixer> handle_;
    std::mutex lock_;
    std::vector<std::unique_ptr<MixerLine>> lines_;
    MixerApi& api_;
};
