// Thousands of starts and stops of one capture device at random moments, with audio handed in
// from another thread and, at random, the late hand-overs that can leave a stop waiting for ever.
// The seed is printed; EXAM_STOP_RACE_SEED repeats its choices and EXAM_STOP_RACE_CYCLES runs
// longer (tests/soak/stop-races.sh).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CaptureTestDoubles.h"
#include "FakeWaveIn.h"
#include "SoakSettings.h"
#include "Watchdog.h"
#include "audio/AudioError.h"
#include "audio/CaptureDevice.h"
#include "audio/CaptureDeviceRegistry.h"

namespace {

using namespace std::chrono_literals;
using capture_test::RecordingSink;
using capture_test::TestResources;

constexpr std::size_t kFull = CaptureDevice::kBufferBytes;

struct Rig {
    Rig() {
        fake.devices = {{"Microphone"}};
        fake.onReset([this] { openThreadGate(); });
    }
    CaptureDevice& device() { return *registry.devices().at(0); }
    void openThreadGate() { threadGate = true; }

    FakeWaveIn fake;
    TestResources resources;
    CaptureDeviceRegistry registry{fake, resources};
    std::atomic<bool> threadGate{true};
};

struct Cycle {
    std::optional<FakeStep> failingStep;  // a start that fails there
    bool threadFails = false;
    bool lateOpen = false;       // Open is posted only at the first reset or close
    bool lateThread = false;     // the recording thread first runs at a random moment
    bool holdRequeue = false;    // the first re-queue lands just after the stop's reset
    bool refuseRequeue = false;  // the device refuses every re-queue
    int closeFailures = 0;
    int blocksBeforeStop = 0;  // whole blocks the sink has before the stop begins
    bool stopWhileRequeueHeld = false;
    int spinBeforeStop = 0;  // microseconds
    std::uint32_t feederSeed = 0;

    bool startFails() const { return failingStep.has_value() || threadFails; }
};

void spinFor(int microseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::yield();
    }
}

class CaptureStopRaces : public ::testing::Test {
protected:
    void SetUp() override {
        seed = soakSetting("EXAM_STOP_RACE_SEED",
                           static_cast<int>(std::random_device{}() & 0x7fff'ffff));
        cycles = soakSetting("EXAM_STOP_RACE_CYCLES", 3000);
        random.seed(static_cast<std::uint32_t>(seed));
        std::printf("stop races: %d cycles, seed %d (EXAM_STOP_RACE_SEED=%d repeats it)\n", cycles,
                    seed, seed);
        std::fflush(stdout);
        RecordProperty("seed", std::to_string(seed));
    }

    int upTo(int most) { return std::uniform_int_distribution<int>(0, most)(random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random); }

    Cycle nextCycle(bool mustRecord) {
        static constexpr FakeStep startSteps[] = {FakeStep::Open,       FakeStep::Prepare1,
                                                  FakeStep::Prepare2,   FakeStep::AddBuffer1,
                                                  FakeStep::AddBuffer2, FakeStep::Start};
        Cycle cycle;
        if (!mustRecord && chance(0.15)) {
            if (chance(0.15)) {
                cycle.threadFails = true;
            } else {
                cycle.failingStep = startSteps[upTo(5)];
            }
        }
        cycle.lateOpen = chance(0.4);
        cycle.lateThread = chance(0.3);
        cycle.holdRequeue = chance(0.3);
        cycle.refuseRequeue = !mustRecord && chance(0.05);
        cycle.closeFailures = chance(0.1) ? 1 + upTo(2) : 0;
        // A held re-queue keeps the second block from the sink until the stop.
        const int most = cycle.holdRequeue ? 1 : 2;
        cycle.blocksBeforeStop = mustRecord ? 1 + upTo(most - 1) : upTo(most);
        cycle.stopWhileRequeueHeld = cycle.holdRequeue && cycle.blocksBeforeStop == 1 &&
                                     !cycle.refuseRequeue && !cycle.startFails() && chance(0.5);
        cycle.spinBeforeStop = chance(0.5) ? upTo(300) : 0;
        cycle.feederSeed = static_cast<std::uint32_t>(random());
        return cycle;
    }

    void runCycle(Rig& rig, const Cycle& cycle, int number);

    int seed = 0;
    int cycles = 0;
    std::mt19937 random;
    // The audio goes on from cycle to cycle as one count of 32-bit words.
    std::uint32_t nextWord = 0;
};

// Hands the device counted words in chunks of random size at random moments, from before the
// start until a while after the stop has returned, and opens the thread gate on its way.
class Feeder {
public:
    Feeder(Rig& rig, std::uint32_t seed, std::uint32_t firstWord)
        : rig_(rig), random_(seed), word_(firstWord), thread_([this] { run(); }) {}
    ~Feeder() {
        stopHasReturned();
        finish();
    }

    void stopHasReturned() { stopReturned_ = true; }
    // Waits for the feeder to end; returns the bytes the device took.
    std::size_t finish() {
        if (thread_.joinable()) {
            thread_.join();
        }
        return taken_;
    }

private:
    void run() {
        std::vector<std::uint32_t> chunk;
        const int gateAfter = std::uniform_int_distribution<int>(0, 40)(random_);
        int callsAfterStop = std::uniform_int_distribution<int>(0, 8)(random_);
        for (int call = 0;; ++call) {
            if (call == gateAfter) {
                rig_.openThreadGate();
            }
            if (stopReturned_ && call >= gateAfter && callsAfterStop-- <= 0) {
                break;
            }
            const std::size_t words =
                std::uniform_int_distribution<std::size_t>(1, kFull / 4 / 3)(random_);
            chunk.resize(words);
            for (std::size_t i = 0; i < words; ++i) {
                chunk[i] = word_ + static_cast<std::uint32_t>(i);
            }
            const std::size_t bytes = words * 4;
            const std::size_t took =
                bytes - rig_.fake.record({reinterpret_cast<const std::byte*>(chunk.data()), bytes});
            word_ += static_cast<std::uint32_t>(took / 4);
            taken_ += took;
            switch (std::uniform_int_distribution<int>(0, 3)(random_)) {
                case 0:
                    break;
                case 1:
                    std::this_thread::yield();
                    break;
                default:
                    spinFor(std::uniform_int_distribution<int>(0, took == 0 ? 50 : 20)(random_));
            }
        }
    }

    Rig& rig_;
    std::mt19937 random_;
    std::uint32_t word_;
    std::size_t taken_ = 0;
    std::atomic<bool> stopReturned_{false};
    std::thread thread_;
};

void CaptureStopRaces::runCycle(Rig& rig, const Cycle& cycle, int number) {
    const std::string where =
        "cycle " + std::to_string(number) + " of seed " + std::to_string(seed);
    SCOPED_TRACE(where);
    FakeWaveIn& fake = rig.fake;
    CaptureDevice& device = rig.device();
    fake.clearCalls();

    if (cycle.failingStep) {
        fake.fail(*cycle.failingStep);
    }
    rig.resources.failThread = cycle.threadFails;
    fake.deferOpenUntilReset(cycle.lateOpen);
    fake.holdRequeueUntilReset(cycle.holdRequeue);
    if (cycle.refuseRequeue) {
        fake.fail(FakeStep::Requeue);
    }
    fake.failClose(cycle.closeFailures);
    rig.threadGate = !cycle.lateThread;
    rig.resources.gate = &rig.threadGate;

    RecordingSink sink;
    Feeder feeder(rig, cycle.feederSeed, nextWord);
    bool started = true;
    try {
        returnsWithin(10s, ("start in " + where).c_str(), [&] { device.start(sink); });
    } catch (const AudioError&) {
        started = false;
    }
    EXPECT_EQ(started, !cycle.startFails());
    if (started) {
        ASSERT_TRUE(sink.waitForBlocks(static_cast<std::size_t>(cycle.blocksBeforeStop)))
            << "the recording never delivered " << cycle.blocksBeforeStop << " blocks";
        if (cycle.stopWhileRequeueHeld) {
            ASSERT_TRUE(fake.waitUntilRequeueHeld());
        }
        spinFor(cycle.spinBeforeStop);
        returnsWithin(10s, ("stop in " + where).c_str(), [&] {
            device.stop();
            sink.stopHasReturned();
        });
    }
    feeder.stopHasReturned();
    const std::size_t taken = feeder.finish();

    if (cycle.failingStep) {
        fake.succeed(*cycle.failingStep);
    }
    fake.succeed(FakeStep::Requeue);
    fake.holdRequeueUntilReset(false);
    rig.resources.failThread = false;
    rig.resources.gate = nullptr;
    rig.openThreadGate();

    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(rig.resources.threadsRunning, 0);
    for (const std::string& call : fake.calls()) {
        EXPECT_EQ(call.find("still queued"), std::string::npos) << call;
    }
    EXPECT_FALSE(sink.calledAfterStop());

    // Every byte the device took came back in order, in whole buffers but the stop's last one.
    const std::vector<RecordingSink::Block> blocks = sink.blocks();
    std::size_t delivered = 0;
    std::uint32_t expected = nextWord;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const std::vector<std::byte>& bytes = blocks[b].bytes;
        if (b + 1 < blocks.size()) {
            ASSERT_EQ(bytes.size(), kFull) << "block " << b;
        }
        ASSERT_TRUE(!bytes.empty() && bytes.size() % 4 == 0) << "block " << b;
        for (std::size_t at = 0; at < bytes.size(); at += 4, ++expected) {
            std::uint32_t word = 0;
            std::memcpy(&word, &bytes[at], 4);
            ASSERT_EQ(word, expected) << "block " << b << ", byte " << at;
        }
        delivered += bytes.size();
    }
    EXPECT_EQ(delivered, taken);
    nextWord += static_cast<std::uint32_t>(taken / 4);
}

TEST_F(CaptureStopRaces, EveryStopReturnsWithAllTheAudioTakenAndTheNextStartRecords) {
    Rig rig;
    bool mustRecord = true;
    for (int number = 0; number < cycles; ++number) {
        const Cycle cycle = nextCycle(mustRecord);
        runCycle(rig, cycle, number);
        if (HasFailure()) {
            return;
        }
        mustRecord = cycle.startFails();
    }
}

}  // namespace
