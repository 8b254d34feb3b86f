// Brings a lost sound card back into the running exam: while the exam's capture device has lost
// its card, looks for it again about once a second on a thread of its own, and once it is there
// prepares its recording line and restarts capture into the exam's sink.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class AudioSink;
class CaptureDevice;
class CaptureProblemReporter;

// How the resumer waits between looks; tests step it by hand instead of waiting.
class PollPace {
public:
    virtual ~PollPace() = default;
    // Returns true once the next look is due, false at once after stop().
    virtual bool wait() = 0;
    // Ends the current wait and every later one. From any thread.
    virtual void stop() = 0;
};

// A look every `period` of the steady clock.
class SteadyPace final : public PollPace {
public:
    explicit SteadyPace(std::chrono::milliseconds period = std::chrono::seconds(1))
        : period_(period) {}
    bool wait() override;
    void stop() override;

private:
    const std::chrono::milliseconds period_;
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
};

// One per exam, made once capture runs. The device, the sink and the reporter must outlive it;
// the window's thread must not start or stop the device while it lives. Its end waits at most
// for the look in hand, never for the next.
class CaptureResumer {
public:
    // `prepareLine`: sets the card's recording line up as the exam's start did; may throw.
    CaptureResumer(CaptureDevice& device, AudioSink& sink, CaptureProblemReporter& reporter,
                   std::function<void()> prepareLine, std::unique_ptr<PollPace> pace);
    ~CaptureResumer();
    CaptureResumer(const CaptureResumer&) = delete;
    CaptureResumer& operator=(const CaptureResumer&) = delete;

private:
    void run();
    // Says whether capture runs again.
    bool resume();

    CaptureDevice& device_;
    AudioSink& sink_;
    CaptureProblemReporter& reporter_;
    const std::function<void()> prepareLine_;
    const std::unique_ptr<PollPace> pace_;
    std::thread thread_;  // last: it runs over everything above
};
