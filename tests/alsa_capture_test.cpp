#include <alsa/asoundlib.h>
#include <gmock/gmock.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CaptureTestDoubles.h"
#include "audio/CaptureDevice.h"
#include "audio/CaptureDeviceRegistry.h"
#include "platform/alsa/AlsaCaptureEndpoints.h"
#include "platform/alsa/AlsaWaveIn.h"
#include "support/AlsaCapture.h"
#include "support/ChildProcess.h"
#include "support/PulseAudioServer.h"

namespace {

using namespace std::chrono_literals;
using capture_test::CountingListener;
using capture_test::RecordingSink;
using capture_test::TestResources;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::Gt;
using ::testing::Not;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kFull = CaptureDevice::kBufferBytes;
constexpr std::size_t kBytesPerSecond = 176'400;
constexpr const char* kServerSource = "Звуковой сервер (PulseAudio)";
constexpr const char* kSpeech =
    "Добрый день. Это проверка записи устного экзамена. Раз, два, три, четыре, пять.";

double rmsOf(const RecordingSink::Block& block) {
    const std::size_t samples = block.bytes.size() / 2;
    double sum = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        std::int16_t sample = 0;
        std::memcpy(&sample, block.bytes.data() + 2 * i, 2);
        sum += (sample / 32768.0) * (sample / 32768.0);
    }
    return samples == 0 ? 0 : std::sqrt(sum / static_cast<double>(samples));
}

class AlsaCaptureDeviceTest : public test_support::PulseAudioTest {
protected:
    static void SetUpTestSuite() {
        PulseAudioTest::SetUpTestSuite();
        speechDir_ = (std::filesystem::temp_directory_path() / "capture-speech-XXXXXX").string();
        if (::mkdtemp(speechDir_.data()) == nullptr) {
            speechDir_.clear();
            return;
        }
        // About 6.7 s of speech, longer than any recording here.
        speechMade_ =
            test_support::runProgram({"espeak-ng", "-v", "ru", "-w", speechFile(), kSpeech}) == 0;
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        std::filesystem::remove_all(speechDir_, ignored);
        PulseAudioTest::TearDownTestSuite();
    }
    static std::string speechFile() { return speechDir_ + "/speech.wav"; }

    void SetUp() override {
        PulseAudioTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // An idle null sink renders in 2-second blocks, so the first audio of a new capture
        // can take that long to come. A low-latency capture kept open makes it render in short
        // ones, as a real source would.
        awake_ = std::make_unique<test_support::AlsaCapture>("pulse");
        ASSERT_TRUE(awake_->waitUntilCaptured(Clock::now(), 10s)) << awake_->error();

        const std::vector<AlsaCaptureEndpoint> endpoints = listAlsaCaptureEndpoints();
        for (const AlsaCaptureEndpoint& endpoint : endpoints) {
            if (endpoint.pcmName == "pulse") {
                waveIn_ = std::make_unique<AlsaWaveIn>(std::vector{endpoint});
            }
        }
        ASSERT_TRUE(waveIn_) << "the sound server's source is not listed";
        registry_ = std::make_unique<CaptureDeviceRegistry>(*waveIn_, resources);
    }
    void TearDown() override {
        registry_.reset();
        if (serverRunning() && !server().hasSink(test_support::PulseAudioServer::kSinkName)) {
            server().loadNullSink();
        }
    }

    CaptureDevice& device() { return registry_->findByName(kServerSource); }
    // Plays the speech into the null sink and returns once it can be heard from its monitor.
    std::unique_ptr<test_support::ChildProcess> playSpeech() {
        if (!speechMade_) {
            ADD_FAILURE() << "espeak-ng could not make the speech";
            return nullptr;
        }
        auto player = std::make_unique<test_support::ChildProcess>(std::vector<std::string>{
            "paplay", std::string("--device=") + test_support::PulseAudioServer::kSinkName,
            speechFile()});
        const auto began = Clock::now();
        while (!awake_->lastLouderThan(0.05, began, Clock::now())) {
            if (!awake_->waitUntilCaptured(Clock::now() + 100ms, 10s) ||
                Clock::now() - began > 10s) {
                ADD_FAILURE() << "the speech cannot be heard from the null sink's monitor";
                return nullptr;
            }
        }
        return player;
    }

    TestResources resources;
    RecordingSink sink;

private:
    static inline std::string speechDir_;
    static inline bool speechMade_ = false;
    std::unique_ptr<test_support::AlsaCapture> awake_;
    std::unique_ptr<AlsaWaveIn> waveIn_;
    std::unique_ptr<CaptureDeviceRegistry> registry_;
};

TEST_F(AlsaCaptureDeviceTest, ListsTheSoundServerSourceFirstWhileTheServerAnswers) {
    const std::vector<AlsaCaptureEndpoint> endpoints = listAlsaCaptureEndpoints();
    ASSERT_FALSE(endpoints.empty());
    EXPECT_EQ(endpoints[0].displayName, kServerSource);
    EXPECT_EQ(endpoints[0].pcmName, "pulse");
    EXPECT_EQ(endpoints[0].controlName, "pulse");
    std::set<std::string> names;
    for (const AlsaCaptureEndpoint& endpoint : endpoints) {
        EXPECT_TRUE(names.insert(endpoint.displayName).second) << endpoint.displayName;
    }

    const std::string server = std::getenv("PULSE_SERVER");
    ::setenv("PULSE_SERVER", ("unix:" + speechFile() + ".nobody").c_str(), 1);
    const std::vector<AlsaCaptureEndpoint> withoutServer = listAlsaCaptureEndpoints();
    ::setenv("PULSE_SERVER", server.c_str(), 1);
    EXPECT_THAT(withoutServer,
                Not(Contains(Field(&AlsaCaptureEndpoint::pcmName, std::string("pulse")))));
}

// The stop may come a little late on a loaded machine, and the server hands audio over a
// period (100 ms) or so late: half a second either way leaves room for both.
TEST_F(AlsaCaptureDeviceTest, RecordingStoppedAfterThreeSecondsGivesAFullBlockThenAboutOneSecond) {
    const std::unique_ptr<test_support::ChildProcess> speech = playSpeech();
    ASSERT_TRUE(speech);
    device().start(sink);
    std::this_thread::sleep_for(3s);
    capture_test::stopInTime(device());

    const std::vector<RecordingSink::Block> blocks = sink.blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].bytes.size(), kFull);
    EXPECT_NEAR(static_cast<double>(blocks[1].bytes.size()), kBytesPerSecond,
                0.5 * kBytesPerSecond);
    EXPECT_EQ(blocks[1].bytes.size() % 4, 0u);
    for (const RecordingSink::Block& block : blocks) {
        EXPECT_GT(rmsOf(block), 0.02) << "silence where the speech was played";
    }
    EXPECT_EQ(device().overrunCount(), 0u);
}

TEST_F(AlsaCaptureDeviceTest, RemovedSourceEndsTheRecordingAndStopStillReturns) {
    CountingListener listener;
    device().setProblemListener(&listener);
    device().start(sink);
    ASSERT_TRUE(sink.waitForBlocks(1));
    server().unloadNullSink();
    ASSERT_TRUE(listener.waitFor("lost", 10s))
        << "the recording did not notice its source had gone";
    capture_test::stopInTime(device());
    EXPECT_TRUE(device().deviceLost());
    EXPECT_FALSE(device().isOpen());
    EXPECT_EQ(resources.threadsRunning, 0);
    device().setProblemListener(nullptr);
}

// The held second comes in the block after the stall.
TEST_F(AlsaCaptureDeviceTest, SinkAwayThreeSecondsLosesNothing) {
    ASSERT_TRUE(capture_test::recordThroughAStall(device(), sink));
    EXPECT_EQ(device().overrunCount(), 0u);
    EXPECT_EQ(device().lostFrames(), 0u);
    EXPECT_THAT(sink.sizes(), ElementsAre(kFull, kFull, Gt(kBytesPerSecond / 2)));
}

TEST_F(AlsaCaptureDeviceTest, AudioLostToASlowSinkIsCountedAsAnOverrun) {
    ASSERT_TRUE(capture_test::recordIntoASlowSink(device())) << "no overrun reported";
    // One loss, told with its length: the 8 s away less the other buffer and the ring's 4 s.
    EXPECT_EQ(device().overrunCount(), 1u);
    EXPECT_GT(device().lostFrames(), 44'100u);
    EXPECT_LT(device().lostFrames(), 3 * 44'100u);
    EXPECT_FALSE(device().deviceLost());
}

// The sound server fixture itself, which the tests above and the player library's rely on.
using PulseAudioServerTest = test_support::PulseAudioTest;

TEST_F(PulseAudioServerTest, PointsThisProcessAtAPrivateServer) {
    EXPECT_EQ(std::getenv("PULSE_SERVER"), server().address());
    EXPECT_EQ(std::getenv("XDG_RUNTIME_DIR"), server().runtimeDir());
    EXPECT_TRUE(std::filesystem::is_socket(server().runtimeDir() + "/pulse/native"));
    std::string info;
    ASSERT_EQ(server().pactl({"info"}, &info), 0) << info;
    EXPECT_NE(info.find("Default Sink: recorder_test_sink\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Default Source: recorder_test_sink.monitor\n"), std::string::npos) << info;
}

TEST_F(PulseAudioServerTest, NullSinkGoesAwayAndComesBackAsTheDefault) {
    ASSERT_NO_THROW(server().unloadNullSink());
    EXPECT_FALSE(server().hasSink(test_support::PulseAudioServer::kSinkName));
    ASSERT_NO_THROW(server().loadNullSink());
    EXPECT_TRUE(server().hasSink(test_support::PulseAudioServer::kSinkName));
    std::string sink;
    ASSERT_EQ(server().pactl({"get-default-sink"}, &sink), 0) << sink;
    EXPECT_EQ(sink, std::string(test_support::PulseAudioServer::kSinkName) + "\n");
}

// The measurement the player library's tests rely on: a tone written to the sink through ALSA
// is heard at its level and the silence on either side of it is silence.
TEST_F(PulseAudioServerTest, CaptureMeasuresAToneAndTheSilenceAroundIt) {
    constexpr double kToneAmplitude = 0.5;
    constexpr double kSilentRms = 0.001;  // the null sink's silence is exact zeros
    test_support::AlsaCapture capture("pulse");
    const auto rmsOf = [&](Clock::time_point from, Clock::time_point to) {
        EXPECT_TRUE(capture.waitUntilCaptured(to, 5000ms)) << capture.error();
        return capture.rms(from, to).value_or(-1);
    };
    ASSERT_TRUE(capture.waitUntilCaptured(Clock::now() + 300ms, 3000ms)) << capture.error();
    Clock::time_point beforeTone = Clock::now();

    snd_pcm_t* raw = nullptr;
    ASSERT_EQ(snd_pcm_open(&raw, "pulse", SND_PCM_STREAM_PLAYBACK, 0), 0);
    std::unique_ptr<snd_pcm_t, decltype(&snd_pcm_close)> pcm(raw, &snd_pcm_close);
    ASSERT_EQ(snd_pcm_set_params(raw, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2,
                                 44100, 1, 100000),
              0);
    const int frames = 44100 * 6 / 10;
    std::vector<short> tone(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i)
        tone[2 * static_cast<size_t>(i)] = tone[2 * static_cast<size_t>(i) + 1] =
            static_cast<short>(kToneAmplitude * 32767 * std::sin(2 * M_PI * 440.0 * i / 44100));
    Clock::time_point toneStart = Clock::now();
    ASSERT_EQ(snd_pcm_writei(raw, tone.data(), frames), frames);
    ASSERT_EQ(snd_pcm_drain(raw), 0);
    Clock::time_point toneEnd = Clock::now();

    EXPECT_LT(rmsOf(beforeTone - 300ms, beforeTone), kSilentRms);
    EXPECT_NEAR(rmsOf(toneStart + 200ms, toneStart + 400ms), kToneAmplitude / M_SQRT2, 0.03);
    EXPECT_LT(rmsOf(toneEnd + 200ms, toneEnd + 500ms), kSilentRms);
}

}  // namespace
