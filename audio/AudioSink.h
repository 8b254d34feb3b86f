// Where a capture device delivers its recording: one call per buffer it hands back with
// recorded bytes, in order, on the device's recording thread.
#pragma once

#include <chrono>
#include <cstdint>

class AudioSink {
public:
    // `data`: interleaved signed 16-bit little-endian stereo at 44,100 Hz, `byteCount` at most
    // 352,800 (a full buffer, 2 seconds). Valid only during the call. Never called concurrently,
    // nor after the device's stop() has returned. No capture lock is held, but a stop of the
    // same device may be waiting for this call: do not start or stop that device from here, nor
    // wait for the thread that stops it. Must not throw.
    virtual void onAudioData(const void* data, std::uint32_t byteCount) = 0;
    // The device's start has returned: it records from now, its first sound coming back within
    // `firstSoundWithin` at most with nothing lost. On the recording thread, under the same
    // rules; a fast device may have handed a block back before.
    virtual void onCaptureStarted(std::chrono::milliseconds /*firstSoundWithin*/) {}

protected:
    // The capture layer never deletes a sink.
    ~AudioSink() = default;
};
