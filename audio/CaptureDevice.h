// One wave-in device: records 16-bit stereo at 44,100 Hz into two 2-second buffers and hands
// each one back, filled, to an AudioSink on a recording thread of its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/LevelMeter.h"
#include "audio/MixerDevice.h"
#include "audio/RecordingFormat.h"
#include "platform/RecordingQueue.h"
#include "platform/WaveIn.h"

class AudioSink;
class CaptureProblemListener;
class CaptureResources;

// Made by CaptureDeviceRegistry, which owns it. The wave-in layer and the resources must
// outlive the device; the sink given to start must live until stop has returned. The device is
// its card, found again by its name and identity in the system's list at every open.
class CaptureDevice {
public:
    static constexpr std::uint32_t kBufferBytes = recording_format::kBlockBytes;

    CaptureDevice(std::uint32_t deviceId, WaveInCaps caps, WaveInApi& waveIn, MixerApi& mixers,
                  CaptureResources& resources);
    // Stops a recording still running, so its thread never outlives the buffers.
    ~CaptureDevice();
    CaptureDevice(const CaptureDevice&) = delete;
    CaptureDevice& operator=(const CaptureDevice&) = delete;

    // Where the card stood in the system's list when it was last found there.
    std::uint32_t deviceId() const { return deviceId_.load(); }
    const WaveInCaps& caps() const { return caps_; }
    const std::string& name() const { return caps_.name; }

    // Opens the device and starts recording into `sink`. While recording, does nothing (the
    // sink stays). Throws AudioError, leaving the device idle: CardNotConnected when the card is
    // not in the system's list.
    void start(AudioSink& sink);
    // Stops recording, lets the sink have the part of the current buffer recorded so far, and
    // closes the device. Does nothing while idle; never throws.
    void stop();
    bool isOpen() const;

    // Overruns (audio lost) of the running or last recording, the frames they lost, and whether
    // its device went away, which ends the recording until the next stop and start. Readable
    // from any thread.
    std::uint32_t overrunCount() const { return overruns_.load(); }
    std::uint64_t lostFrames() const { return lostFrames_.load(); }
    bool deviceLost() const { return lost_.load(); }
    // Told of both as they happen. Not owned; must live until the recordings it hears have
    // stopped. Null for nobody.
    void setProblemListener(CaptureProblemListener* listener) { listener_.store(listener); }

    // The input level of the running or last recording, period by period; reset by start.
    const LevelMeter& level() const { return level_; }

    // Opens the device's own mixer and returns it. Throws AudioError "Can't open Mixer Device.",
    // or CardNotConnected.
    MixerDevice& mixer();

private:
    friend class CaptureDeviceRegistry;  // which tells a kept device where its card stands now

    enum class State : std::int32_t { Starting, Running, Stopping };
    // Where an undoing starts; each step is followed by every later one.
    enum class Release { UnprepareBuffer2, UnprepareBuffer1, Close, Forget };

    // The card's position in the system's list now. Throws CardNotConnected.
    std::uint32_t findCard();
    void release(Release from);
    void record();
    void takeBack(WaveHeader& header);
    void handedBack();

    std::atomic<std::uint32_t> deviceId_;
    const WaveInCaps caps_;
    const WaveFormat format_ = recording_format::kCapture;
    WaveInApi& waveIn_;
    CaptureResources& resources_;
    MixerDevice mixer_;

    // Declared before the handle, which posts to it until the handle goes.
    RecordingQueue queue_;
    std::unique_ptr<WaveIn> handle_;      // non-null exactly while the device is open
    std::unique_ptr<std::byte[]> block_;  // both buffers' memory, from the first start on
    WaveHeader buffers_[2];
    AudioSink* sink_ = nullptr;  // written only while no recording thread runs
    std::thread thread_;
    mutable std::recursive_mutex lock_;  // start's failure paths stop while holding it
    std::atomic<State> state_{State::Stopping};
    // Buffers back from the device since the start; stop waits for both. A lock and condition,
    // not an atomic wait: the Windows compiler's runtime can miss an atomic's notify.
    std::mutex returnedMutex_;
    std::condition_variable returnedChanged_;
    std::uint8_t returnedBuffers_ = 0;
    std::atomic<std::uint32_t> overruns_{0};
    std::atomic<std::uint64_t> lostFrames_{0};
    std::atomic<bool> lost_{false};
    std::atomic<CaptureProblemListener*> listener_{nullptr};
    LevelMeter level_;
};
