// What every system's open wave-in device shares: the guards of each call, the rules a header
// keeps, the caller's buffers queued oldest first, and the messages that hand them back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "platform/RecordingQueue.h"
#include "platform/WaveIn.h"

// A back end adds only what talks to its system, through the hooks below. Each call and each
// hook but stopDriver runs under mutex(), which the back end's own thread takes as well. Audio
// lost is posted as Overrun once audio goes into a buffer again (or the device stops); a device
// lost is posted once as DeviceLost, with the buffer being filled handed back first, and the
// other buffers stay queued until reset or close hands them back.
class WaveInDevice : public WaveIn {
public:
    WaveInDevice(const WaveInDevice&) = delete;
    WaveInDevice& operator=(const WaveInDevice&) = delete;

    WaveResult prepareHeader(WaveHeader& header) final;
    WaveResult unprepareHeader(WaveHeader& header) final;
    WaveResult addBuffer(WaveHeader& header) final;
    WaveResult start() final;
    WaveResult reset() final;
    WaveResult close() final;
    void publishLevelsTo(LevelListener* meter) final;

protected:
    // `queue` must outlive the device.
    WaveInDevice(const WaveFormat& format, RecordingQueue& queue)
        : format_(format), queue_(queue) {}
    ~WaveInDevice() override = default;

    // A buffer has just been queued.
    virtual void bufferAdded() = 0;
    // Starts the system's device; false if it would not.
    virtual bool startSystem() = 0;
    // Stops the system's device, reading what it has recorded into the queued buffers.
    virtual void stopSystem() = 0;
    // Ends the back end's own thread; called without the lock, before closeSystem.
    virtual void stopDriver() = 0;
    virtual void closeSystem() = 0;

    const WaveFormat& format() const { return format_; }
    std::mutex& mutex() { return mutex_; }
    bool running() const { return running_; }
    bool lost() const { return lost_; }

    bool empty() const { return buffers_.empty(); }
    WaveHeader& front() const { return *buffers_.front(); }
    // Posts the oldest buffer back as Data.
    void handBackFirst();
    // Hands `frames` frames at `data`, just read, to the level listener if there is one.
    void publishLevel(const std::byte* data, std::uint32_t frames);
    // Audio the device had nowhere to put, told as Overrun by the next tellLostAudio.
    void countLost(std::uint32_t frames) { lostFrames_ += frames; }
    void tellLostAudio();
    // The device records nothing more: told once.
    void loseDevice();

private:
    void handBackAll();

    const WaveFormat format_;
    RecordingQueue& queue_;

    std::mutex mutex_;  // guards everything below
    std::deque<WaveHeader*> buffers_;
    std::uint32_t lostFrames_ = 0;  // not yet told
    bool running_ = false;
    bool closed_ = false;
    bool lost_ = false;
    LevelListener* meter_ = nullptr;
};
