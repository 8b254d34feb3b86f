// A scripted wave-in layer for the capture tests: devices with names and formats, a failure
// at any step, the two late hand-overs a stop must survive, and audio a test hands to the open
// device as if it had recorded it, with its level published. Every call on the open device is
// logged.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/RecordingQueue.h"
#include "platform/WaveIn.h"

enum class FakeStep { Open, Prepare1, Prepare2, AddBuffer1, AddBuffer2, Start, Requeue };

class FakeWaveIn : public WaveInApi {
public:
    struct Device {
        std::string name;
        std::uint32_t formats = WAVE_FORMAT_4S16;
        bool capsFail = false;
        std::string identity{};
    };
    // Set before the registry lists them; a later listing sees what the test changed since.
    std::vector<Device> devices;
    // When not empty, replaces `devices` at the next open, before the id is looked up.
    std::vector<Device> devicesAtOpen;

    void fail(FakeStep step);
    void succeed(FakeStep step);
    void failClose(int times);
    // Open is posted only when the device is first reset or closed.
    void deferOpenUntilReset(bool defer = true);
    // The next re-queue waits for a reset and lands right after it.
    void holdRequeueUntilReset(bool hold = true);
    // Called after every reset, on the resetting thread.
    void onReset(std::function<void()> hook);

    // Fills the queued buffers with `bytes` in order, handing each back when full, while the
    // device is started, and publishes the level of every 100 ms taken. Returns how many bytes
    // found no room.
    std::size_t record(std::span<const std::byte> bytes);
    void report(WaveMessage::Kind problem, std::uint32_t lostFrames = 0);

    // Each waits at most 10 s and says whether it came.
    bool waitUntilQueued(std::size_t buffers);
    bool waitUntilRequeueHeld();

    // An unprepare refused because the device still held the buffer is logged as
    // "unprepare N still queued".
    std::vector<std::string> calls() const;
    void clearCalls();
    int deviceCountCalls() const;
    // The name of the device last opened, empty before any.
    std::string openedName() const;
    // Buffers queued right now, waiting to be filled.
    std::size_t queuedCount() const;

    std::uint32_t deviceCount() override;
    WaveResult deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) override;
    WaveResult open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                    std::unique_ptr<WaveIn>& handle) override;

private:
    class OpenDevice;
    friend class OpenDevice;

    WaveResult prepare(WaveHeader& header);
    WaveResult unprepare(WaveHeader& header);
    WaveResult add(WaveHeader& header);
    WaveResult start();
    WaveResult reset();
    WaveResult close();

    // Under mutex_.
    bool log(const std::string& call, FakeStep step);
    int numberOf(const WaveHeader& header);
    void handBackFirst();
    void postPendingOpen();
    void publishLevels(std::span<const std::byte> bytes);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::set<FakeStep> failing_;
    int closeFailures_ = 0;
    bool deferOpen_ = false;
    bool holdRequeue_ = false;
    std::function<void()> onReset_;
    int deviceCountCalls_ = 0;
    std::vector<std::string> calls_;
    std::string openedName_;

    RecordingQueue* queue_ = nullptr;  // of the open device
    LevelListener* meter_ = nullptr;   // of the open device
    bool openPending_ = false;
    bool started_ = false;
    bool resetSeen_ = false;
    bool requeueHeld_ = false;
    int adds_ = 0;
    std::map<const WaveHeader*, int> numbers_;
    std::vector<WaveHeader*> queued_;
};
