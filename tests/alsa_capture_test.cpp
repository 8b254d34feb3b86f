#include <gmock/gmock.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "Watchdog.h"
#include "audio/CaptureDevice.h"
#include "audio/CaptureDeviceRegistry.h"
#include "platform/AlsaCaptureEndpoints.h"
#include "platform/AlsaWaveIn.h"
#include "support/AlsaCapture.h"
#include "support/PulseAudioServer.h"

namespace {

using namespace std::chrono_literals;
using capture_test::CountingListener;
using capture_test::RecordingSink;
using capture_test::TestResources;
using ::testing::Contains;
using ::testing::Field;
using ::testing::Not;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kFull = CaptureDevice::kBufferBytes;
constexpr std::size_t kBytesPerSecond = 176'400;
constexpr const char* kServerSource = "Звуковой сервер (PulseAudio)";
constexpr const char* kSpeech =
    "Добрый день. Это проверка записи устного экзамена. Раз, два, три, четыре, пять.";

// A program run with this process's environment, which points at the test's sound server.
// Stopped, if still running, and reaped when the object goes.
class Program {
public:
    explicit Program(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return pid_ > 0; }
    // Its exit status, or -1.
    int wait() {
        int status = 0;
        const bool reaped = pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_;
        pid_ = -1;
        return reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
};

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
        Program espeak({"espeak-ng", "-v", "ru", "-w", speechFile(), kSpeech});
        speechMade_ = espeak.started() && espeak.wait() == 0;
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
    void stop() {
        returnsWithin(10s, "stop", [&] { device().stop(); });
    }
    // Plays the speech into the null sink and returns once it can be heard from its monitor.
    std::unique_ptr<Program> playSpeech() {
        if (!speechMade_) {
            ADD_FAILURE() << "espeak-ng could not make the speech";
            return nullptr;
        }
        auto player = std::make_unique<Program>(std::vector<std::string>{
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
    const std::unique_ptr<Program> speech = playSpeech();
    ASSERT_TRUE(speech);
    device().start(sink);
    std::this_thread::sleep_for(3s);
    stop();

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

TEST_F(AlsaCaptureDeviceTest, StartAfterStopReusesTheBufferBlockWithANewThread) {
    device().start(sink);
    ASSERT_TRUE(sink.waitForBlocks(1));
    stop();
    const std::size_t firstRecording = sink.blocks().size();
    device().start(sink);
    ASSERT_TRUE(sink.waitForBlocks(firstRecording + 1));
    stop();

    const std::vector<RecordingSink::Block> blocks = sink.blocks();
    EXPECT_EQ(blocks[firstRecording].data, blocks[0].data);
    EXPECT_EQ(blocks[firstRecording].bytes.size(), kFull);
    EXPECT_EQ(resources.allocations, 1);
    EXPECT_EQ(resources.threadsStarted, 2);
    EXPECT_EQ(resources.threadsRunning, 0);
}

TEST_F(AlsaCaptureDeviceTest, RemovedSourceEndsTheRecordingAndStopStillReturns) {
    CountingListener listener;
    device().setProblemListener(&listener);
    device().start(sink);
    ASSERT_TRUE(sink.waitForBlocks(1));
    server().unloadNullSink();
    ASSERT_TRUE(listener.waitFor("lost", 10s))
        << "the recording did not notice its source had gone";
    stop();
    EXPECT_TRUE(device().deviceLost());
    EXPECT_FALSE(device().isOpen());
    EXPECT_EQ(resources.threadsRunning, 0);
    device().setProblemListener(nullptr);
}

// A sink that stays away longer than both buffers and the device's own slack can cover.
class SlowSink : public AudioSink {
public:
    void onAudioData(const void*, std::uint32_t) override {
        if (calls_++ == 0) {
            std::this_thread::sleep_for(5s);
        }
    }

private:
    int calls_ = 0;
};

TEST_F(AlsaCaptureDeviceTest, AudioLostToASlowSinkIsCountedAsAnOverrun) {
    SlowSink slow;
    CountingListener listener;
    device().setProblemListener(&listener);
    device().start(slow);
    ASSERT_TRUE(listener.waitFor("overrun", 20s)) << "no overrun reported";
    stop();
    // One loss, told with its length: the 5 s away less the other buffer and the slack.
    EXPECT_EQ(device().overrunCount(), 1u);
    EXPECT_GT(device().lostFrames(), 44'100u);
    EXPECT_LT(device().lostFrames(), 5 * 44'100u);
    EXPECT_FALSE(device().deviceLost());
    device().setProblemListener(nullptr);
}

}  // namespace
