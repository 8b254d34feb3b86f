#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "WindowFixture.h"
#include "platform/RecordingQueue.h"
#include "support/Mp3Inspector.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr std::size_t kEncoderDelay = 576 + 529;  // the encoder's and the decoder's
constexpr std::size_t kFrameSamples = 1152;
constexpr std::size_t kWindowFrames = 4410;  // 100 ms
// About 6.7 s, a little shorter than the first exam.
constexpr const char* kSpeech =
    "Добрый день. Это проверка записи устного экзамена. Раз, два, три, четыре, пять.";

// Passes a wave-in layer through and keeps a copy of every buffer the open device hands back
// with sound in it: the PCM the exam's sink receives, in order.
class TappedWaveIn : public WaveInApi {
public:
    explicit TappedWaveIn(WaveInApi& inner) : inner_(inner) {}
    ~TappedWaveIn() override { endForwarding(); }

    std::uint32_t deviceCount() override { return inner_.deviceCount(); }
    WaveResult deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) override {
        return inner_.deviceCaps(deviceId, caps);
    }
    WaveResult open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                    std::unique_ptr<WaveIn>& handle) override {
        endForwarding();
        tapped_ = std::make_unique<RecordingQueue>();
        const WaveResult result = inner_.open(deviceId, format, *tapped_, handle);
        if (result == WaveResult::Ok) {
            {
                std::lock_guard lock(mutex_);
                pcm_.clear();
            }
            forwarder_ = std::thread([this, &queue] { forward(queue); });
        }
        return result;
    }

    // What the last recording handed over, as interleaved samples.
    std::vector<std::int16_t> pcm() const {
        std::lock_guard lock(mutex_);
        return pcm_;
    }

private:
    void forward(RecordingQueue& queue) {
        for (;;) {
            const WaveMessage message = tapped_->take();
            if (message.kind == WaveMessage::Kind::Data && message.header->dwBytesRecorded > 0) {
                std::lock_guard lock(mutex_);
                const std::size_t samples = message.header->dwBytesRecorded / 2;
                const std::size_t first = pcm_.size();
                pcm_.resize(first + samples);
                std::memcpy(pcm_.data() + first, message.header->lpData, samples * 2);
            }
            queue.post(message);
            if (message.kind == WaveMessage::Kind::Close) {
                return;
            }
        }
    }
    void endForwarding() {
        if (forwarder_.joinable()) {
            forwarder_.join();
        }
    }

    WaveInApi& inner_;
    std::unique_ptr<RecordingQueue> tapped_;
    std::thread forwarder_;
    mutable std::mutex mutex_;
    std::vector<std::int16_t> pcm_;
};

// RMS (full scale 1.0) of each 100-ms window of interleaved stereo, from frame `first` on.
std::vector<double> envelope(const std::vector<std::int16_t>& pcm, std::size_t first,
                             std::size_t windows) {
    std::vector<double> levels;
    for (std::size_t w = 0; w < windows; ++w) {
        double sum = 0;
        const std::size_t begin = 2 * (first + w * kWindowFrames);
        for (std::size_t i = begin; i < begin + 2 * kWindowFrames; ++i) {
            sum += (pcm[i] / 32768.0) * (pcm[i] / 32768.0);
        }
        levels.push_back(std::sqrt(sum / (2 * kWindowFrames)));
    }
    return levels;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const auto count = static_cast<double>(a.size());
    double meanA = 0, meanB = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        meanA += a[i] / count;
        meanB += b[i] / count;
    }
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - meanA) * (b[i] - meanB);
        aa += (a[i] - meanA) * (a[i] - meanA);
        bb += (b[i] - meanB) * (b[i] - meanB);
    }
    return ab / std::sqrt(aa * bb);
}

class ExamOnSoundServerTest : public SoundServerWindowTest {
protected:
    void startExam() { yes(ControlId::StartExam); }
    void endExam() { yes(ControlId::EndExam); }
    // Checks `file` as the recording of `captured`: one MP3 stream of the recorder's format, as
    // long as what was captured.
    static mp3::Stream expectRecordingOf(const fs::path& file,
                                         const std::vector<std::int16_t>& captured) {
        mp3::Stream stream = mp3::inspectFile(file);
        EXPECT_EQ(stream.error, "");
        EXPECT_TRUE(stream.framesCoverInput());
        EXPECT_FALSE(mp3::hasTagFrame(exam_test::contentsOf(file)));
        for (const mp3::Frame& frame : stream.frames) {
            EXPECT_EQ(frame.version, mp3::MpegVersion::Mpeg1);
            EXPECT_EQ(frame.layer, 3);
            EXPECT_EQ(frame.sampleRate, 44'100);
            EXPECT_EQ(frame.bitrateKbps, 128);
            if (HasFailure()) {
                break;
            }
        }
        const auto capturedFrames = static_cast<double>(captured.size()) / 2;
        EXPECT_GT(capturedFrames, 0);
        EXPECT_NEAR(static_cast<double>(stream.decodedSamples), capturedFrames,
                    kFrameSamples + kEncoderDelay);
        return stream;
    }

    std::optional<TappedWaveIn> tap;
};

TEST_F(ExamOnSoundServerTest, RecordsSpeechIntoTheAllFileOfEachExam) {
    ASSERT_EQ(runProgram({"espeak-ng", "-v", "ru", "-w", "speech.wav", kSpeech}), 0);
    tap.emplace(*alsa);
    openServerWindow({}, &*tap);

    std::thread player([] {
        runProgram({"paplay", std::string("--device=") + test_support::PulseAudioServer::kSinkName,
                    "speech.wav"});
    });
    const auto began = Clock::now();
    while (!awake->lastLouderThan(0.05, began, Clock::now()) && Clock::now() - began < 10s) {
        awake->waitUntilCaptured(Clock::now() + 100ms, 10s);
    }
    startExam();
    QTest::qWait(7'000);
    endExam();
    player.join();
    const std::vector<std::int16_t> first = tap->pcm();

    startExam();
    QTest::qWait(3'000);
    endExam();
    const std::vector<std::int16_t> second = tap->pcm();

    ASSERT_EQ(boxes.size(), 4u) << boxes.back().text.toStdString();
    const std::vector<std::string> files = allFiles();
    ASSERT_EQ(files.size(), 2u);
    for (const std::string& file : files) {
        EXPECT_TRUE(file.starts_with("out/ALL_0123-001-eng__")) << file;
    }
    const mp3::Stream exam = expectRecordingOf(files[0], first);
    expectRecordingOf(files[1], second);

    // The speech is in the file where it was captured, and so is the silence after it.
    const std::size_t windows =
        std::min(first.size() / 2, exam.pcm.size() / 2 - kEncoderDelay) / kWindowFrames;
    const std::vector<double> heard = envelope(first, 0, windows);
    const std::vector<double> kept = envelope(exam.pcm, kEncoderDelay, windows);
    int loud = 0;
    for (std::size_t w = 0; w < windows; ++w) {
        if (heard[w] > 0.05) {
            ++loud;
            EXPECT_GT(kept[w], 0.5 * heard[w]) << "window " << w;
        }
    }
    EXPECT_GE(loud, 20) << "less than 2 s of speech was captured";
    EXPECT_GT(correlation(heard, kept), 0.95);
}

}  // namespace
