#include <gtest/gtest.h>

#include <QTest>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "AudioErrorOf.h"
#include "CaptureTestDoubles.h"
#include "audio/CaptureDevice.h"
#include "audio/CaptureDeviceRegistry.h"
#include "platform/PlaybackPlayer.h"
#include "platform/SystemAudio.h"

namespace {

using namespace std::chrono_literals;
using capture_test::RecordingSink;
using capture_test::TestResources;

// The system's mixers: Wine's, with wave-in devices only beside a sound server.
TEST(SystemMixerTest, DeviceIdPastTheLastWaveInDeviceHasNoMixer) {
    // Wine has a mixer of that number, so this fails if a wave-in id is taken for a mixer's.
    MixerDevice mixer(systemWaveIn().deviceCount(), systemMixers());
    EXPECT_EQ(audioErrorOf([&] { mixer.open(); }), "Can't open Mixer Device.");
}

constexpr double kServerFramesPerSecond = 44'100;
constexpr double kServerBytesPerSecond = 176'400;

// The system's wave-in devices under Wine, recording a PulseAudio server's null sink (silence):
// run only where PULSE_SERVER names such a server.
class WaveInOnSoundServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("PULSE_SERVER") == nullptr) {
            GTEST_SKIP() << "no sound server";
        }
    }
    CaptureDevice& device() { return registry.findByName("Monitor of Null Output"); }

    TestResources resources;
    CaptureDeviceRegistry registry{systemWaveIn(), resources};
};

// The server's first audio may take two seconds to come; a second after the first block, the
// stop hands back the other with what it holds.
TEST_F(WaveInOnSoundServerTest, FillsTheBlocksInOrderAndPublishesALevelEveryTenthOfASecond) {
    RecordingSink sink;
    device().start(sink);
    ASSERT_TRUE(sink.waitForBlocks(1));
    std::this_thread::sleep_for(1s);
    capture_test::stopInTime(device());

    const auto blocks = sink.blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].bytes.size(), CaptureDevice::kBufferBytes);
    EXPECT_NEAR(static_cast<double>(blocks[1].bytes.size()), kServerBytesPerSecond,
                0.5 * kServerBytesPerSecond);
    EXPECT_EQ(blocks[1].bytes.size() % 4, 0u);
    EXPECT_NE(blocks[0].data, blocks[1].data);
    const LevelMeter::Reading level = device().level().read();
    EXPECT_EQ(level.frames, (blocks[0].bytes.size() + blocks[1].bytes.size()) / 4);
    EXPECT_NEAR(static_cast<double>(level.sequence), 10 * level.frames / kServerFramesPerSecond, 2);
    EXPECT_EQ(device().overrunCount(), 0u);
    EXPECT_FALSE(device().deviceLost());
}

// The held second comes in the block after the stall.
TEST_F(WaveInOnSoundServerTest, SinkAwayThreeSecondsLosesNothing) {
    RecordingSink sink;
    ASSERT_TRUE(capture_test::recordThroughAStall(device(), sink));
    EXPECT_EQ(device().overrunCount(), 0u);
    EXPECT_EQ(device().lostFrames(), 0u);
    const std::vector<std::size_t> sizes = sink.sizes();
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ((sizes[0] + sizes[1] + sizes[2]) / 4, device().level().read().frames);
    EXPECT_GT(sizes[2], kServerBytesPerSecond / 2);
}

TEST_F(WaveInOnSoundServerTest, AudioLostToASlowSinkIsOneOverrunOfItsLength) {
    ASSERT_TRUE(capture_test::recordIntoASlowSink(device())) << "no overrun reported";
    // 8 s away less the other block and the 4 s the device keeps for want of a buffer.
    EXPECT_EQ(device().overrunCount(), 1u);
    EXPECT_NEAR(static_cast<double>(device().lostFrames()), 2 * kServerFramesPerSecond,
                0.5 * kServerFramesPerSecond);
    EXPECT_FALSE(device().deviceLost());
}

// The system's player that listening falls back to, on an MP3 named by the Linux side
// (WineExamOnSoundServerTest), which hears its stream reach the server.
TEST(SystemFallbackPlayerTest, PlaysTheFileItIsGiven) {
    const char* file = std::getenv("EXAM_TEST_MP3");
    if (file == nullptr) {
        GTEST_SKIP() << "no MP3 named";
    }
    // No window: the test program's windows are not the system's.
    const std::unique_ptr<PlaybackPlayer> player = makeSystemFallbackPlayer(nullptr);
    ASSERT_TRUE(player->play(file));
    QTest::qWait(5'000);
    player->stop();
}

}  // namespace
