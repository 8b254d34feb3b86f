// The caller's buffers queued on an open wave-in device, oldest first: the rules every device
// keeps for a header, and the messages that hand buffers and losses back to the caller.
#pragma once

#include <cstdint>
#include <deque>

#include "platform/WaveIn.h"

class RecordingQueue;

// Not locked: the device guards it with the lock that guards the rest of its state.
class QueuedWaveBuffers {
public:
    explicit QueuedWaveBuffers(RecordingQueue& queue) : queue_(queue) {}

    static WaveResult prepare(WaveHeader& header, const WaveFormat& format);
    static WaveResult unprepare(WaveHeader& header);
    // Queues a prepared header that is not queued already, emptied.
    WaveResult add(WaveHeader& header);

    bool empty() const { return buffers_.empty(); }
    WaveHeader& front() const { return *buffers_.front(); }
    // Posts the oldest buffer back as Data.
    void handBackFirst();
    // Tells the audio lost so far, then hands back every buffer.
    void handBackAll();

    // Audio the device had nowhere to put, told as Overrun by the next tellLostAudio.
    void countLost(std::uint32_t frames) { lostFrames_ += frames; }
    void forgetLost() { lostFrames_ = 0; }
    void tellLostAudio();
    // Tells the audio lost, hands back the buffer being filled if it holds any, and posts
    // DeviceLost; the other buffers stay queued.
    void tellDeviceLost();

private:
    RecordingQueue& queue_;
    std::deque<WaveHeader*> buffers_;
    std::uint32_t lostFrames_ = 0;  // not yet told
};
