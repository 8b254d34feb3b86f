#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "AudioErrorOf.h"
#include "CaptureTestDoubles.h"
#include "FakeMixer.h"
#include "FakeWaveIn.h"
#include "Watchdog.h"
#include "audio/CaptureDevice.h"
#include "audio/CaptureDeviceRegistry.h"

namespace {

using namespace std::chrono_literals;
using capture_test::CountingListener;
using capture_test::RecordingSink;
using capture_test::TestResources;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr std::size_t kFull = CaptureDevice::kBufferBytes;

std::vector<std::byte> pattern(std::size_t size, unsigned seed) {
    std::vector<std::byte> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::byte>((i * 7 + seed) % 251);
    }
    return bytes;
}

class CaptureDeviceTest : public ::testing::Test {
protected:
    CaptureDeviceTest() { fake.devices = {{"Microphone"}}; }

    CaptureDevice& device() { return *registry.devices().at(0); }
    void start(AudioSink& to) {
        returnsWithin(10s, "start", [&] { device().start(to); });
    }
    void stop() { capture_test::stopInTime(device()); }
    void recordFullBlock(unsigned seed) {
        ASSERT_TRUE(fake.waitUntilQueued(1));
        EXPECT_EQ(fake.record(pattern(kFull, seed)), 0u);
    }
    // Records a full block into `into`, started, and stops once it has it.
    void recordFullBlockAndStop(RecordingSink& into, unsigned seed) {
        const std::size_t before = into.blocks().size();
        recordFullBlock(seed);
        ASSERT_TRUE(into.waitForBlocks(before + 1));
        stop();
    }

    FakeWaveIn fake;
    TestResources resources;
    RecordingSink sink;
    CaptureDeviceRegistry registry{fake, resources};
};

const std::vector<std::string> kQueued = {"open", "prepare 1", "prepare 2", "add 1", "add 2"};
const std::vector<std::string> kFullStop = {"reset", "unprepare 2", "unprepare 1", "close"};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct StartFailure {
    const char* name;
    std::function<void(FakeWaveIn&, TestResources&, bool fails)> script;
    const char* message;
    std::vector<std::string> calls;
};

void PrintTo(const StartFailure& row, std::ostream* out) {
    *out << row.name;
}

std::function<void(FakeWaveIn&, TestResources&, bool)> failing(FakeStep step) {
    return [step](FakeWaveIn& fake, TestResources&, bool fails) {
        fails ? fake.fail(step) : fake.succeed(step);
    };
}

class CaptureStartFailureTest : public CaptureDeviceTest,
                                public ::testing::WithParamInterface<StartFailure> {};

TEST_P(CaptureStartFailureTest, ThrowsItsMessageUndoesItsStepsAndLeavesTheDeviceStartable) {
    const StartFailure& row = GetParam();
    row.script(fake, resources, true);
    EXPECT_EQ(audioErrorOf([&] { start(sink); }), row.message);
    EXPECT_THAT(fake.calls(), ElementsAreArray(row.calls));
    EXPECT_FALSE(device().isOpen());
    EXPECT_EQ(resources.threadsRunning, 0);

    // start runs on a thread of its own: a lock left held would keep it out.
    row.script(fake, resources, false);
    RecordingSink later;
    start(later);
    ASSERT_NO_FATAL_FAILURE(recordFullBlockAndStop(later, 1));
    EXPECT_THAT(later.sizes(), ElementsAre(kFull));
    EXPECT_THAT(sink.blocks(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    CaptureFailure, CaptureStartFailureTest,
    ::testing::Values(
        StartFailure{
            "Thread",
            [](FakeWaveIn&, TestResources& resources, bool fails) { resources.failThread = fails; },
            "Can't create WAVE recording thread.",
            {}},
        StartFailure{"Open", failing(FakeStep::Open), "Can't open WaveIN Device.", {"open failed"}},
        StartFailure{"Allocation",
                     [](FakeWaveIn&, TestResources& resources, bool fails) {
                         resources.failAllocation = fails;
                     },
                     "Can't allocate memory for WAVE buffer.",
                     {"open", "close"}},
        StartFailure{"Prepare1",
                     failing(FakeStep::Prepare1),
                     "Error preparing WAVEHDR 1.",
                     {"open", "prepare 1 failed", "close"}},
        StartFailure{"Prepare2",
                     failing(FakeStep::Prepare2),
                     "Error preparing WAVEHDR 2.",
                     {"open", "prepare 1", "prepare 2 failed", "unprepare 1", "close"}},
        StartFailure{"Queue1",
                     failing(FakeStep::AddBuffer1),
                     "Error queueing WAVEHDR 1.",
                     {"open", "prepare 1", "prepare 2", "add 1 failed", "unprepare 2",
                      "unprepare 1", "close"}},
        StartFailure{
            "Queue2", failing(FakeStep::AddBuffer2), "Error queueing WAVEHDR 2.",
            std::vector<std::string>{"open", "prepare 1", "prepare 2", "add 1", "add 2 failed"} +
                kFullStop},
        StartFailure{"Start", failing(FakeStep::Start), "Error starting record.",
                     kQueued + std::vector<std::string>{"start failed"} + kFullStop}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureDeviceTest, CloseIsRetriedUntilItSucceeds) {
    fake.failClose(3);
    start(sink);
    stop();
    EXPECT_THAT(
        fake.calls(),
        ElementsAreArray(kQueued + std::vector<std::string>{
                                       "start", "reset", "unprepare 2", "unprepare 1",
                                       "close failed", "close failed", "close failed", "close"}));
    EXPECT_FALSE(device().isOpen());
}

TEST_F(CaptureDeviceTest, StartWhileRecordingKeepsTheFirstSinkAndStopWhileIdleDoesNothing) {
    stop();
    EXPECT_THAT(fake.calls(), IsEmpty());

    RecordingSink second;
    start(sink);
    start(second);
    ASSERT_NO_FATAL_FAILURE(recordFullBlockAndStop(sink, 1));
    const std::vector<std::string> calls = fake.calls();
    stop();
    EXPECT_EQ(fake.calls(), calls);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open"), 1);
    EXPECT_THAT(second.blocks(), IsEmpty());
}

TEST_F(CaptureDeviceTest, DeliversEachBufferInOrderWithItsBytesOnTheRecordingThread) {
    start(sink);
    recordFullBlock(1);
    recordFullBlock(2);
    ASSERT_TRUE(sink.waitForBlocks(2));
    ASSERT_TRUE(fake.waitUntilQueued(2));
    EXPECT_EQ(fake.record(pattern(1000, 3)), 0u);
    stop();

    const std::vector<RecordingSink::Block> blocks = sink.blocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].bytes, pattern(kFull, 1));
    EXPECT_EQ(blocks[1].bytes, pattern(kFull, 2));
    EXPECT_EQ(blocks[2].bytes, pattern(1000, 3));
    // The two buffers alternate, one after the other in one block of memory.
    EXPECT_EQ(static_cast<const std::byte*>(blocks[1].data),
              static_cast<const std::byte*>(blocks[0].data) + kFull);
    EXPECT_EQ(blocks[2].data, blocks[0].data);
    for (const RecordingSink::Block& block : blocks) {
        EXPECT_NE(block.thread, std::this_thread::get_id());
        EXPECT_EQ(block.thread, blocks[0].thread);
    }
}

TEST_F(CaptureDeviceTest, SinkIsNeverCalledAfterStopReturns) {
    for (int round = 0; round < 20; ++round) {
        RecordingSink roundSink;
        std::atomic<int> afterStop{-1};
        start(roundSink);
        std::thread feeder([&] {
            const std::vector<std::byte> chunk = pattern(kFull / 8, 0);
            // Feeds on for a while after stop has returned.
            while (afterStop < 200) {
                fake.record(chunk);
                if (afterStop >= 0) {
                    ++afterStop;
                }
                std::this_thread::yield();
            }
        });
        roundSink.waitForBlocks(static_cast<std::size_t>(round % 3));
        stop();
        roundSink.stopHasReturned();
        afterStop = 0;
        feeder.join();
        EXPECT_FALSE(roundSink.calledAfterStop()) << "round " << round;
    }
}

TEST_F(CaptureDeviceTest, StartAfterStopReusesTheBufferBlockWithANewThread) {
    start(sink);
    ASSERT_NO_FATAL_FAILURE(recordFullBlockAndStop(sink, 1));
    EXPECT_EQ(resources.threadsRunning, 0);
    start(sink);
    ASSERT_NO_FATAL_FAILURE(recordFullBlockAndStop(sink, 2));

    const std::vector<RecordingSink::Block> blocks = sink.blocks();
    EXPECT_EQ(blocks[1].data, blocks[0].data);
    EXPECT_EQ(blocks[1].bytes, pattern(kFull, 2));
    EXPECT_EQ(resources.allocations, 1);
    EXPECT_EQ(resources.threadsStarted, 2);
    EXPECT_EQ(resources.threadsRunning, 0);
}

// Orders of events in which a plain count of returned buffers would wait for ever.
TEST_F(CaptureDeviceTest, StopEndsWhenTheOpenNoticeComesAfterAFailedQueueOfBuffer2) {
    fake.deferOpenUntilReset();
    fake.fail(FakeStep::AddBuffer2);
    EXPECT_EQ(audioErrorOf([&] { start(sink); }), "Error queueing WAVEHDR 2.");
    EXPECT_FALSE(device().isOpen());
}

TEST_F(CaptureDeviceTest, StopEndsWhenARequeueLandsJustAfterTheReset) {
    fake.holdRequeueUntilReset();
    start(sink);
    recordFullBlock(1);
    ASSERT_TRUE(fake.waitUntilRequeueHeld());
    stop();
    EXPECT_THAT(fake.calls(),
                ElementsAreArray(kQueued + std::vector<std::string>{"start", "reset", "requeue 1",
                                                                    "reset", "unprepare 2",
                                                                    "unprepare 1", "close"}));
    EXPECT_THAT(sink.sizes(), ElementsAre(kFull));
}

TEST_F(CaptureDeviceTest, StopEndsWhenTheThreadFirstRunsAfterAFailedStartHasReset) {
    std::atomic<bool> reset{false};
    resources.gate = &reset;
    fake.onReset([&] { reset = true; });
    fake.fail(FakeStep::Start);
    EXPECT_EQ(audioErrorOf([&] { start(sink); }), "Error starting record.");
    EXPECT_EQ(resources.threadsRunning, 0);
}

TEST_F(CaptureDeviceTest, StopEndsWhenABufferCouldNotBeQueuedAgain) {
    fake.fail(FakeStep::Requeue);
    start(sink);
    ASSERT_NO_FATAL_FAILURE(recordFullBlockAndStop(sink, 1));
    EXPECT_FALSE(device().isOpen());
}

TEST_F(CaptureDeviceTest, TellsItsOwnerOfOverrunsAndALostDeviceUntilTheNextStart) {
    CountingListener listener;
    device().setProblemListener(&listener);
    start(sink);
    fake.report(WaveMessage::Kind::Overrun, 4410);
    fake.report(WaveMessage::Kind::Overrun, 30);
    fake.report(WaveMessage::Kind::DeviceLost);
    ASSERT_TRUE(listener.waitFor("lost", 10s));
    EXPECT_THAT(listener.events(), ElementsAre("overrun 4410", "overrun 30", "lost"));
    EXPECT_EQ(device().overrunCount(), 2u);
    EXPECT_EQ(device().lostFrames(), 4440u);
    EXPECT_TRUE(device().deviceLost());
    stop();
    EXPECT_EQ(device().overrunCount(), 2u);

    start(sink);
    EXPECT_EQ(device().overrunCount(), 0u);
    EXPECT_FALSE(device().deviceLost());
    stop();
}

class CaptureDeviceRegistryTest : public ::testing::Test {
protected:
    std::vector<std::string> listedNames() {
        std::vector<std::string> names;
        for (CaptureDevice* device : registry.devices()) {
            names.push_back(device->name() + " #" + std::to_string(device->deviceId()));
        }
        return names;
    }

    FakeWaveIn fake;
    CaptureDeviceRegistry registry{fake};
    RecordingSink sink;
};

TEST_F(CaptureDeviceRegistryTest, ListsOnlyDevicesThatRecordTheFormat) {
    fake.devices = {{"Line", 0x7ff}, {"Microphone"}, {"Broken", WAVE_FORMAT_4S16, true}, {"USB"}};
    EXPECT_THAT(listedNames(), ElementsAre("Microphone #1", "USB #3"));
}

TEST_F(CaptureDeviceRegistryTest, NoDeviceWithTheFormatGivesAnEmptyList) {
    fake.devices = {{"Line", 0x7ff}, {"Modem", 0}};
    EXPECT_THAT(registry.devices(), IsEmpty());
    EXPECT_EQ(audioErrorOf([&] { registry.findByName("Line"); }), "Device not found.");
}

TEST_F(CaptureDeviceRegistryTest, FindsTheFirstDeviceWithExactlyTheName) {
    fake.devices = {{"Mic"}, {"mic"}, {"Mic"}};
    EXPECT_EQ(registry.findByName("Mic").deviceId(), 0u);
    EXPECT_EQ(registry.findByName("mic").deviceId(), 1u);
    for (const char* name : {"MIC", "Mi", "Mic ", ""}) {
        EXPECT_EQ(audioErrorOf([&] { registry.findByName(name); }), "Device not found.") << name;
    }
    EXPECT_EQ(audioErrorOf([&] { registry.findByName(nullptr); }), "Device not found.");
}

TEST_F(CaptureDeviceRegistryTest, ListIsBuiltOnce) {
    fake.devices = {{"Mic"}};
    const std::vector<CaptureDevice*> first = registry.devices();
    fake.devices.push_back({"Plugged in later"});
    EXPECT_EQ(registry.devices(), first);
    EXPECT_EQ(audioErrorOf([&] { registry.findByName("Plugged in later"); }), "Device not found.");
    EXPECT_EQ(fake.deviceCountCalls(), 1);
}

TEST_F(CaptureDeviceRegistryTest, CardIsOpenedWhereverTheSystemNowListsIt) {
    FakeMixer mixers;
    CaptureDeviceRegistry withMixers{fake, mixers};
    fake.devices = {{"Line"}, {"Headset"}, {"Webcam"}};
    CaptureDevice& headset = withMixers.findByName("Headset");
    fake.devices = {{"Webcam"}, {"Plugged in later"}, {"Headset"}};
    headset.start(sink);
    EXPECT_EQ(fake.openedName(), "Headset");
    capture_test::stopInTime(headset);
    headset.mixer().close();
    EXPECT_THAT(mixers.openedDeviceIds, ElementsAre(2u));
}

TEST_F(CaptureDeviceRegistryTest, CardNoLongerListedIsToldAsNotConnected) {
    fake.devices = {{"Mic", WAVE_FORMAT_4S16, false, "plughw:CARD=Headset,DEV=0"}, {"Webcam"}};
    CaptureDevice& mic = registry.findByName("Mic");
    // The list moves between the look and the open: the card opened is another and is closed
    // again. Then another card under the same name is not the one chosen.
    fake.devicesAtOpen = {{"Webcam"}, {"Mic", WAVE_FORMAT_4S16, false, "plughw:CARD=Other,DEV=0"}};
    const std::string told = "Звуковая карта «Mic» не подключена.";
    EXPECT_EQ(audioErrorOf([&] { mic.start(sink); }), told);
    EXPECT_EQ(fake.openedName(), "Webcam");
    EXPECT_EQ(audioErrorOf([&] { mic.start(sink); }), told);
    EXPECT_EQ(audioErrorOf([&] { mic.mixer(); }), told);
    EXPECT_FALSE(mic.isOpen());
}

TEST_F(CaptureDeviceRegistryTest, ListingAgainKeepsTheDeviceOfEachCardStillThere) {
    fake.devices = {{"Line"}, {"Headset"}};
    const std::vector<CaptureDevice*> first = registry.devices();
    first[1]->start(sink);
    fake.devices = {{"Headset"}, {"Plugged in later"}};
    const std::vector<CaptureDevice*> again = registry.listAgain();
    EXPECT_THAT(listedNames(), ElementsAre("Headset #0", "Plugged in later #1"));
    EXPECT_EQ(again.front(), first[1]);
    EXPECT_TRUE(first[1]->isOpen());
    EXPECT_EQ(audioErrorOf([&] { registry.findByName("Line"); }), "Device not found.");
    capture_test::stopInTime(*first[1]);
    fake.devices = {{"Line"}, {"Headset"}, {"Plugged in later"}};
    EXPECT_EQ(registry.listAgain(), (std::vector{first[0], first[1], again[1]}));
}

}  // namespace
