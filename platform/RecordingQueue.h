// The message queue of a recording thread: an open wave-in device posts its notifications
// here, from any thread, and the recording thread takes them one by one, waiting when empty.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

struct WaveHeader;

struct WaveMessage {
    enum class Kind {
        Open,
        Data,  // `header` is back from the device, with its recorded bytes
        Close,
        Overrun,     // `lostFrames` of audio were dropped before they could be read
        DeviceLost,  // the device went away; it records nothing more
        Started,     // the device's start has returned: it records from now
    };
    Kind kind = Kind::Open;
    WaveHeader* header = nullptr;
    std::uint32_t lostFrames = 0;
    std::chrono::milliseconds firstSoundWithin{};  // of Started: WaveInApi::firstSoundWithin
};

class RecordingQueue {
public:
    void post(WaveMessage message);
    // Waits for the next message.
    WaveMessage take();

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<WaveMessage> messages_;
};
