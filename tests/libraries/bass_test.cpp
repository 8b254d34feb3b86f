// The player library as the recorder uses it: loaded at run time and bound by name, playing
// into a private PulseAudio server whose null sink is recorded back through ALSA.

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lame/lame.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bass.h"
#include "support/AlsaCapture.h"
#include "support/PulseAudioServer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test_support::AlsaCapture;
using Clock = std::chrono::steady_clock;

constexpr double kToneAmplitude = 0.5;
// A sine of amplitude 0.5 has an RMS of 0.35; MP3 coding does not take much off that.
constexpr double kAudibleRms = 0.2;
// The null sink produces exact zeros, so anything above this is our sound.
constexpr double kSilentRms = 0.001;

fs::path libraryPath() {
    if (const char* dir = std::getenv("EXAM_RECORDER_BIN_DIR"))
        return fs::path(dir) / "libbass.so";
    fs::path exeDir = fs::read_symlink("/proc/self/exe").parent_path();
    for (const fs::path& candidate :
         {exeDir / "libbass.so", exeDir.parent_path() / "bin" / "libbass.so"}) {
        if (fs::exists(candidate))
            return candidate;
    }
    return exeDir / "libbass.so";
}

// The five calls, looked up by name the way the recorder does.
struct Bass {
    std::shared_ptr<void> library;
    decltype(&BASS_Init) init = nullptr;
    decltype(&BASS_ErrorGetCode) errorGetCode = nullptr;
    decltype(&BASS_StreamCreateFile) streamCreateFile = nullptr;
    decltype(&BASS_ChannelPlay) channelPlay = nullptr;
    decltype(&BASS_StreamFree) streamFree = nullptr;
    std::string loadError;

    static const Bass& get() {
        static const Bass bass = load();
        return bass;
    }

private:
    static Bass load() {
        Bass bass;
        fs::path path = libraryPath();
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            bass.loadError = dlerror();
            return bass;
        }
        bass.library.reset(library, dlclose);
        auto bind = [&](auto& function, const char* name) {
            function =
                reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
            if (!function)
                bass.loadError += std::string(name) + " missing from " + path.string() + "; ";
        };
        bind(bass.init, "BASS_Init");
        bind(bass.errorGetCode, "BASS_ErrorGetCode");
        bind(bass.streamCreateFile, "BASS_StreamCreateFile");
        bind(bass.channelPlay, "BASS_ChannelPlay");
        bind(bass.streamFree, "BASS_StreamFree");
        return bass;
    }
};

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "bass-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void writeFile(const fs::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

// A 440 Hz stereo sine at 44100 Hz, encoded with LAME's own API.
std::vector<unsigned char> sineMp3(double seconds) {
    constexpr int kRate = 44100;
    std::unique_ptr<lame_global_flags, decltype(&lame_close)> lame(lame_init(), &lame_close);
    if (!lame)
        throw std::runtime_error("lame_init failed");
    lame_set_in_samplerate(lame.get(), kRate);
    lame_set_num_channels(lame.get(), 2);
    lame_set_brate(lame.get(), 128);
    lame_set_quality(lame.get(), 7);
    if (lame_init_params(lame.get()) < 0)
        throw std::runtime_error("lame_init_params failed");

    const int frames = static_cast<int>(seconds * kRate);
    std::vector<short> pcm(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        auto v =
            static_cast<short>(kToneAmplitude * 32767 * std::sin(2 * M_PI * 440.0 * i / kRate));
        pcm[2 * static_cast<size_t>(i)] = v;
        pcm[2 * static_cast<size_t>(i) + 1] = v;
    }
    std::vector<unsigned char> mp3(static_cast<size_t>(frames) * 5 / 4 + 7200);
    int written = lame_encode_buffer_interleaved(lame.get(), pcm.data(), frames, mp3.data(),
                                                 static_cast<int>(mp3.size()));
    if (written < 0)
        throw std::runtime_error("lame_encode_buffer_interleaved failed");
    int flushed =
        lame_encode_flush(lame.get(), mp3.data() + written, static_cast<int>(mp3.size()) - written);
    if (flushed < 0)
        throw std::runtime_error("lame_encode_flush failed");
    mp3.resize(static_cast<size_t>(written + flushed));
    return mp3;
}

long long millis(Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// Level of the sound captured between two times, once the capture has got that far.
double rmsOf(const AlsaCapture& capture, Clock::time_point from, Clock::time_point to) {
    EXPECT_TRUE(capture.waitUntilCaptured(to, 5000ms)) << capture.error();
    std::optional<double> rms = capture.rms(from, to);
    EXPECT_TRUE(rms.has_value()) << "nothing captured between the two times";
    return rms.value_or(-1);
}

// Runs in a child process of its own so that no earlier call has set up the player; its
// result is the child's exit status. PulseAudio's socket is either missing or taken by a
// listener that never answers.
int initWithoutAnyOutput(bool serverNeverAnswers) {
    TempDir dir;
    fs::path socketPath = dir.path() / "native";
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + socketPath.string()).c_str(), 1);
    // An ALSA configuration whose only device is a card that does not exist, whatever cards
    // this machine has.
    fs::path alsaConf = dir.path() / "asound.conf";
    std::ofstream(alsaConf)
        << "pcm.!default { type hw card 99 }\nctl.!default { type hw card 99 }\n";
    ::setenv("ALSA_CONFIG_PATH", alsaConf.c_str(), 1);

    std::unique_ptr<int, void (*)(int*)> listener(new int(-1), [](int* fd) {
        if (*fd >= 0)
            ::close(*fd);
        delete fd;
    });
    if (serverNeverAnswers) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
        *listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(*listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(*listener, 8) != 0) {
            std::perror("cannot listen in place of the sound server");
            return 2;
        }
    }

    const Bass& bass = Bass::get();
    if (!bass.loadError.empty()) {
        std::fprintf(stderr, "cannot load the library: %s\n", bass.loadError.c_str());
        return 2;
    }
    Clock::time_point start = Clock::now();
    BOOL ready = bass.init(-1, 44100, 0, nullptr, nullptr);
    int initCode = bass.errorGetCode();
    long long elapsed = millis(Clock::now() - start);
    fs::path mp3 = dir.path() / "tone.mp3";
    writeFile(mp3, sineMp3(0.2));
    HSTREAM stream = bass.streamCreateFile(0, mp3.c_str(), 0, 0, 0);
    int createCode = bass.errorGetCode();
    std::fprintf(stderr, "init=%d code=%d after %lld ms; create=%u code=%d\n", ready, initCode,
                 elapsed, stream, createCode);
    return elapsed < 8000 ? 0 : 1;
}

TEST(BassWithoutSoundServer, InitFailsQuicklyWithAnErrorCodeAndStreamsNeedInit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(initWithoutAnyOutput(false)), testing::ExitedWithCode(0),
                "init=0 code=23 .*; create=0 code=8");
}

TEST(BassWithoutSoundServer, InitGivesUpOnAServerThatNeverAnswers) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(initWithoutAnyOutput(true)), testing::ExitedWithCode(0),
                "init=0 code=23 .*; create=0 code=8");
}

// Quiet, libout123's ALSA module left a function of its own as ALSA's process-wide error handler
// when it was unloaded, so the host's next ALSA error message crashed the recorder.
TEST(BassWithoutSoundServer, LeavesTheHostsAlsaErrorMessagesHarmless) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            initWithoutAnyOutput(false);
            snd_pcm_t* pcm = nullptr;
            std::exit(snd_pcm_open(&pcm, "no-such-device", SND_PCM_STREAM_CAPTURE, 0) < 0 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "Unknown PCM no-such-device");
}

class BassPlayer : public test_support::PulseAudioTest {
protected:
    static void SetUpTestSuite() {
        PulseAudioTest::SetUpTestSuite();
        files_ = std::make_unique<TempDir>();
        writeFile(mp3Path(), sineMp3(2.0));
        if (!Bass::get().loadError.empty() || !serverRunning())
            return;
        initResult_ = bass().init(-1, 44100, 0, nullptr, nullptr);
        initCode_ = bass().errorGetCode();
    }

    static void TearDownTestSuite() {
        files_.reset();
        PulseAudioTest::TearDownTestSuite();
    }

    void SetUp() override {
        PulseAudioTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_EQ(Bass::get().loadError, "");
        ASSERT_NE(initResult_, 0) << "BASS_Init failed with code " << initCode_
                                  << " (libout123's output modules come with Debian's mpg123)";
    }

    static const Bass& bass() { return Bass::get(); }
    static fs::path dir() { return files_->path(); }
    // Two seconds of 440 Hz.
    static fs::path mp3Path() { return dir() / "tone.mp3"; }

    HSTREAM createTone() {
        HSTREAM stream = bass().streamCreateFile(0, mp3Path().c_str(), 0, 0, 0);
        EXPECT_NE(stream, 0u) << "error " << bass().errorGetCode();
        return stream;
    }

    // Recording of the null sink, already delivering audio.
    std::unique_ptr<AlsaCapture> startCapture() {
        auto capture = std::make_unique<AlsaCapture>("pulse");
        EXPECT_TRUE(capture->waitUntilCaptured(Clock::now(), 3000ms)) << capture->error();
        return capture;
    }

    static inline std::unique_ptr<TempDir> files_;
    static inline BOOL initResult_ = 0;
    static inline int initCode_ = BASS_OK;
};

TEST_F(BassPlayer, InitSucceedsOnceAndAgainIsRefused) {
    EXPECT_EQ(initCode_, BASS_OK);
    EXPECT_EQ(bass().init(-1, 44100, 0, nullptr, nullptr), 0);
    EXPECT_EQ(bass().errorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_EQ(bass().init(7, 44100, 0, nullptr, nullptr), 0);
    EXPECT_EQ(bass().errorGetCode(), BASS_ERROR_ILLPARAM);
    // The first initialisation still stands.
    HSTREAM stream = createTone();
    EXPECT_EQ(bass().errorGetCode(), BASS_OK);
    EXPECT_NE(bass().streamFree(stream), 0);
}

TEST_F(BassPlayer, StreamCreateFileOpensOnlyMp3) {
    fs::path text = dir() / "notes.txt";
    std::ofstream(text) << "Candidate 12, answer 3: not audio at all, just some words.\n";
    fs::path empty = dir() / "empty.mp3";
    std::ofstream{empty};

    EXPECT_EQ(bass().streamCreateFile(0, (dir() / "missing.mp3").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(bass().errorGetCode(), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(bass().streamCreateFile(0, text.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(bass().errorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_EQ(bass().streamCreateFile(0, empty.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(bass().errorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_EQ(bass().streamCreateFile(1, mp3Path().c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(bass().errorGetCode(), BASS_ERROR_ILLPARAM);

    HSTREAM first = createTone();
    EXPECT_EQ(bass().errorGetCode(), BASS_OK);
    HSTREAM second = createTone();
    EXPECT_NE(first, second);
    EXPECT_NE(bass().streamFree(first), 0);
    EXPECT_NE(bass().streamFree(second), 0);
}

TEST_F(BassPlayer, UnknownAndFreedHandlesAreRefused) {
    EXPECT_EQ(bass().channelPlay(4242, 0), 0);
    EXPECT_EQ(bass().errorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(bass().streamFree(0), 0);
    EXPECT_EQ(bass().errorGetCode(), BASS_ERROR_HANDLE);

    HSTREAM stream = createTone();
    ASSERT_NE(bass().streamFree(stream), 0);
    EXPECT_EQ(bass().streamFree(stream), 0);
    EXPECT_EQ(bass().errorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(bass().channelPlay(stream, 1), 0);
    EXPECT_EQ(bass().errorGetCode(), BASS_ERROR_HANDLE);

    // The error code belongs to the thread that failed.
    HSTREAM other = createTone();
    int codeOnOtherThread = BASS_OK;
    std::thread([&] {
        bass().streamFree(4242);
        codeOnOtherThread = bass().errorGetCode();
    }).join();
    EXPECT_EQ(codeOnOtherThread, BASS_ERROR_HANDLE);
    EXPECT_EQ(bass().errorGetCode(), BASS_OK);
    EXPECT_NE(bass().streamFree(other), 0);
}

TEST_F(BassPlayer, PlaysAudiblyAndFallsSilentWithin100msOfFree) {
    auto capture = startCapture();
    HSTREAM stream = createTone();
    Clock::time_point played = Clock::now();
    ASSERT_NE(bass().channelPlay(stream, 0), 0) << "error " << bass().errorGetCode();
    std::this_thread::sleep_for(800ms);
    Clock::time_point freeCalled = Clock::now();
    ASSERT_NE(bass().streamFree(stream), 0);
    Clock::time_point freed = Clock::now();

    EXPECT_GT(rmsOf(*capture, played + 300ms, freeCalled), kAudibleRms);
    // Capture times are when each period was read, up to one period after the sink rendered
    // the sound: that period is the only slack on top of 100 ms.
    auto slack = capture->period();
    Clock::time_point quietFrom = freed + 100ms + slack;
    EXPECT_LT(rmsOf(*capture, quietFrom, quietFrom + 500ms), kSilentRms);

    std::optional<Clock::time_point> lastSound =
        capture->lastLouderThan(0.01, played, quietFrom + 500ms);
    ASSERT_TRUE(lastSound.has_value()) << "the tone was never heard";
    std::printf("BASS_StreamFree took %lld ms; last sound %lld ms after it was called\n",
                millis(freed - freeCalled), millis(*lastSound - freeCalled));
    RecordProperty("stop_latency_ms", std::to_string(millis(*lastSound - freeCalled)));
    // Counted from the call, not the return, so that draining the output before returning
    // does not pass for stopping.
    EXPECT_LT(millis(*lastSound - freeCalled), millis(100ms + slack));
}

TEST_F(BassPlayer, PlayWithoutRestartKeepsPlayingThenEndsByItself) {
    auto capture = startCapture();
    HSTREAM stream = createTone();
    Clock::time_point played = Clock::now();
    ASSERT_NE(bass().channelPlay(stream, 0), 0) << "error " << bass().errorGetCode();
    std::this_thread::sleep_for(1000ms);
    ASSERT_NE(bass().channelPlay(stream, 0), 0) << "error " << bass().errorGetCode();

    // Uninterrupted to near its two-second end, then silent without a restart.
    EXPECT_GT(rmsOf(*capture, played + 300ms, played + 1800ms), kAudibleRms);
    EXPECT_LT(rmsOf(*capture, played + 2600ms, played + 3200ms), kSilentRms);

    // Once it has ended, playing it again starts from the top.
    Clock::time_point again = Clock::now();
    ASSERT_NE(bass().channelPlay(stream, 0), 0) << "error " << bass().errorGetCode();
    EXPECT_GT(rmsOf(*capture, again + 300ms, again + 700ms), kAudibleRms);
    EXPECT_NE(bass().streamFree(stream), 0);
}

TEST_F(BassPlayer, PlayWithRestartStartsOver) {
    auto capture = startCapture();
    HSTREAM stream = createTone();
    ASSERT_NE(bass().channelPlay(stream, 1), 0) << "error " << bass().errorGetCode();
    std::this_thread::sleep_for(1000ms);
    Clock::time_point restarted = Clock::now();
    ASSERT_NE(bass().channelPlay(stream, 1), 0) << "error " << bass().errorGetCode();

    // Without the restart the tone would have ended a second after it.
    EXPECT_GT(rmsOf(*capture, restarted + 1300ms, restarted + 1800ms), kAudibleRms);
    EXPECT_LT(rmsOf(*capture, restarted + 2600ms, restarted + 3000ms), kSilentRms);
    EXPECT_NE(bass().streamFree(stream), 0);
}

TEST_F(BassPlayer, PlayFailsWithAnErrorWhileThereIsNoSink) {
    HSTREAM stream = createTone();
    ASSERT_NO_THROW(server().unloadNullSink());
    EXPECT_EQ(bass().channelPlay(stream, 0), 0);
    // PulseAudio refuses the stream; through ALSA's pulse plugin the open passes, the start not.
    int code = bass().errorGetCode();
    EXPECT_TRUE(code == BASS_ERROR_DEVICE || code == BASS_ERROR_START) << "error " << code;
    ASSERT_NO_THROW(server().loadNullSink());
    EXPECT_NE(bass().channelPlay(stream, 0), 0) << "error " << bass().errorGetCode();
    EXPECT_NE(bass().streamFree(stream), 0);
}

}  // namespace
