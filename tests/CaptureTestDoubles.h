// Test doubles around a capture device: resources that count (or refuse) threads and memory, sinks
// that keep every block or stay away too long, a listener that notes problems, looks by hand.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "Watchdog.h"
#include "audio/AudioSink.h"
#include "audio/CaptureDevice.h"
#include "audio/CaptureProblemListener.h"
#include "audio/CaptureResources.h"
#include "exam/CaptureResumer.h"

namespace capture_test {

class TestResources : public CaptureResources {
public:
    bool failThread = false;
    bool failAllocation = false;
    int allocations = 0;
    std::atomic<int> threadsStarted{0};
    std::atomic<int> threadsRunning{0};
    // While set, each new thread waits for it to become true before it runs.
    std::atomic<bool>* gate = nullptr;

    std::thread startThread(std::function<void()> body) override {
        if (failThread) {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        ++threadsStarted;
        ++threadsRunning;
        return std::thread([this, gate = gate, body = std::move(body)] {
            // Polled: the cross build's atomic wait (no futex under it) can miss a wake-up.
            while (gate != nullptr && !gate->load()) {
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
            body();
            --threadsRunning;
        });
    }
    std::unique_ptr<std::byte[]> allocate(std::size_t bytes) override {
        if (failAllocation) {
            return nullptr;
        }
        ++allocations;
        return CaptureResources::allocate(bytes);
    }
};

class RecordingSink : public AudioSink {
public:
    struct Block {
        const void* data;
        std::vector<std::byte> bytes;
        std::thread::id thread;
    };

    std::chrono::milliseconds awayOnFirstBlock{0};  // after keeping it
    void onAudioData(const void* data, std::uint32_t byteCount) override {
        const auto* first = static_cast<const std::byte*>(data);
        std::unique_lock lock(mutex_);
        calledAfterStop_ = calledAfterStop_ || stopReturned_;
        blocks_.push_back({data, {first, first + byteCount}, std::this_thread::get_id()});
        arrived_.notify_all();
        if (blocks_.size() == 1) {
            lock.unlock();
            std::this_thread::sleep_for(awayOnFirstBlock);
        }
    }

    bool waitForBlocks(std::size_t count) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return blocks_.size() >= count; });
    }
    std::vector<Block> blocks() const {
        std::lock_guard lock(mutex_);
        return blocks_;
    }
    std::vector<std::size_t> sizes() const {
        std::vector<std::size_t> sizes;
        for (const Block& block : blocks()) {
            sizes.push_back(block.bytes.size());
        }
        return sizes;
    }
    void stopHasReturned() {
        std::lock_guard lock(mutex_);
        stopReturned_ = true;
    }
    bool calledAfterStop() const {
        std::lock_guard lock(mutex_);
        return calledAfterStop_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Block> blocks_;
    bool stopReturned_ = false;
    bool calledAfterStop_ = false;
};

class CountingListener : public CaptureProblemListener {
public:
    void onOverrun(std::uint32_t lostFrames) override {
        add("overrun " + std::to_string(lostFrames));
    }
    void onDeviceLost() override { add("lost"); }
    // Waits for an event that begins with `start`.
    bool waitFor(const std::string& start, std::chrono::seconds bound) {
        std::unique_lock lock(mutex_);
        return heard_.wait_for(lock, bound, [&] {
            for (const std::string& event : events_) {
                if (event.rfind(start, 0) == 0) {
                    return true;
                }
            }
            return false;
        });
    }
    std::vector<std::string> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    void add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        heard_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable heard_;
    std::vector<std::string> events_;
};

// A sink that stays away longer than both buffers and the device's own four seconds cover.
class SlowSink : public AudioSink {
public:
    void onAudioData(const void*, std::uint32_t) override {
        if (calls_++ == 0) {
            std::this_thread::sleep_for(std::chrono::seconds(8));
        }
    }

private:
    int calls_ = 0;
};

// Looks once for each one the test allows.
class SteppedPace : public PollPace {
public:
    bool wait() override { return (allowed_.acquire(), !stopping_); }
    void stop() override { stopping_ = true, allowed_.release(); }
    void look(int count = 1) { allowed_.release(count); }

private:
    std::counting_semaphore<> allowed_{0};
    std::atomic<bool> stopping_{false};
};

inline void stopInTime(CaptureDevice& device) {
    returnsWithin(std::chrono::seconds(10), "stop", [&] { device.stop(); });
}

// Records into `sink`, away 3 s with its first block, and stops once the second has come.
inline bool recordThroughAStall(CaptureDevice& device, RecordingSink& sink) {
    sink.awayOnFirstBlock = std::chrono::seconds(3);
    device.start(sink);
    const bool came = sink.waitForBlocks(2);
    stopInTime(device);
    return came;
}

// Records from `device` into a SlowSink until the device tells of audio lost, or for 20 s, then
// stops it. Says whether the loss was told.
inline bool recordIntoASlowSink(CaptureDevice& device) {
    SlowSink slow;
    CountingListener listener;
    device.setProblemListener(&listener);
    device.start(slow);
    const bool told = listener.waitFor("overrun", std::chrono::seconds(20));
    stopInTime(device);
    device.setProblemListener(nullptr);
    return told;
}

}  // namespace capture_test
