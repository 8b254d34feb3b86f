// A whole exam at full speed: the main window (offscreen) records N minutes from the fake sound
// card through the real sink, the real encoder library and real files, with M answers recorded,
// listened to and saved through the window's buttons. Afterwards it checks what is on disk and
// how the process's memory went.
//
//   exam_soak [--minutes N] [--answers M] FOLDER
//
// Works in a fresh folder inside FOLDER, removed when every check has passed. Prints its
// figures; exits with 1 when a check fails, 2 on a bad command line.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimeZone>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "FakeMixer.h"
#include "FakeWaveIn.h"
#include "app/ExamRecorderDialog.h"
#include "audio/CaptureDeviceRegistry.h"
#include "base/MessageBox.h"
#include "exam/AnswerRecording.h"
#include "platform/PlaybackPlayer.h"
#include "session/KimRegister.h"
#include "support/Mp3Inspector.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBlockBytes = 352'800;
constexpr std::int64_t kBlockSamples = 88'200;  // per channel
constexpr std::int64_t kFrameSamples = 1152;
constexpr std::int64_t kEncoderDelay = 576 + 529;
constexpr int kBlocksPerMinute = 30;
constexpr long kMemoryAllowanceKb = 1024;

const SessionCodes codes{"0123", "001", "eng"};

int failures = 0;

void fail(const std::string& what) {
    std::printf("FAILED: %s\n", what.c_str());
    std::fflush(stdout);
    ++failures;
}

struct Memory {
    long rssKb = 0;
    long hwmKb = 0;
};

Memory memoryNow() {
    Memory memory;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) {
            memory.rssKb = std::atol(line.c_str() + 6);
        } else if (line.starts_with("VmHWM:")) {
            memory.hwmKb = std::atol(line.c_str() + 6);
        }
    }
    return memory;
}

// Speech-like sound that never repeats: a voiced tone under a syllable-rate envelope, and noise.
class Voice {
public:
    void fill(std::vector<std::byte>& block) {
        for (std::size_t at = 0; at < block.size(); at += 4, ++frame_) {
            if (frame_ % 441 == 0) {
                const double t = static_cast<double>(frame_) / 44'100;
                envelope_ = 0.6 + 0.4 * std::sin(2 * M_PI * 3.7 * t);
            }
            noise_ = noise_ * 1'664'525u + 1'013'904'223u;
            const double noise = static_cast<double>(noise_ >> 16) / 32'768.0 - 1;
            const double value = envelope_ * (0.3 * tone_[frame_ % 100] + 0.02 * noise);
            const auto sample = static_cast<std::int16_t>(value * 32'767);
            std::memcpy(&block[at], &sample, 2);
            std::memcpy(&block[at + 2], &sample, 2);
        }
    }

private:
    // 441 Hz: one period is exactly 100 samples.
    static std::vector<double> period() {
        std::vector<double> values(100);
        for (int i = 0; i < 100; ++i) {
            values[i] = std::sin(2 * M_PI * i / 100);
        }
        return values;
    }
    const std::vector<double> tone_ = period();
    std::uint64_t frame_ = 0;
    double envelope_ = 0;
    std::uint32_t noise_ = 12'345;
};

class SilentPlayer : public PlaybackPlayer {
public:
    bool play(const std::string&) override { return true; }
    void stop() override {}
    int errorCode() const override { return 0; }
};

std::vector<unsigned char> bytesOf(const fs::path& path, std::uint64_t offset = 0,
                                   std::uint64_t size = UINT64_MAX) {
    std::ifstream file(path, std::ios::binary);
    std::error_code error;
    const std::uint64_t length = fs::file_size(path, error);
    if (!file || error || offset > length) {
        return {};
    }
    std::vector<unsigned char> bytes(std::min(size, length - offset));
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

struct Answer {
    std::string fileName;
    std::uint64_t allOffset = 0;  // the ALL file's size when the answer began
    std::int64_t blocks = 0;
};

class ExamSoak {
public:
    ExamSoak(int minutes, int answers) : minutes_(minutes), answerCount_(answers) {
        soundCards_.devices = {{"Microphone"}};
        mixers_.destination = fakeDestination(
            2, {fakeList(30, MixerControlType::Mux, true, {"Mic", "Line"}, {false, true})});
        mixers_.sources = {fakeSource("Mic", 1, 2, {fakeMute(10), fakeVolume(11, 0, 1000)})};
    }

    // Records the exam; false when it could not go on.
    bool record();
    void checkFiles();
    void printFigures() const;
    void checkMemory();

private:
    ExamRecorderDialog& window() { return *window_; }
    void click(ControlId id, const char* what);
    void type(ControlId id, const QString& text) { window().control<QLineEdit>(id)->setText(text); }
    // Runs the window's events until `done`, or fails after a minute without it.
    bool waitUntil(const std::function<bool()>& done, const char* what);
    bool feedBlocks(std::int64_t count);
    // Until the sink has handled every block fed and the window has shown what it reported, so
    // a button acts between two blocks.
    bool drain() {
        const bool drained =
            waitUntil([&] { return soundCards_.queuedCount() == 2; }, "the sink's last block");
        QCoreApplication::processEvents();
        return drained;
    }
    bool recordAnswer(int number, std::int64_t blocks);
    std::uint64_t allFileSize() const {
        std::error_code error;
        return allFile_.empty() ? 0 : fs::file_size(allFile_, error);
    }

    const int minutes_;
    const int answerCount_;
    FakeWaveIn soundCards_;
    FakeMixer mixers_;
    CaptureDeviceRegistry registry_{soundCards_, mixers_};
    std::atomic<std::int64_t> audioSeconds_{0};
    std::unique_ptr<ExamRecorderDialog> window_;

    Voice voice_;
    std::vector<std::byte> block_ = std::vector<std::byte>(kBlockBytes);
    std::int64_t blocksFed_ = 0;
    fs::path allFile_;
    std::vector<Answer> answers_;

    Memory atOneMinute_;
    long peakRssAfterKb_ = 0;
    long hwmAtEndKb_ = 0;
    double recordingSeconds_ = 0;
};

void ExamSoak::click(ControlId id, const char* what) {
    auto* button = window().control<QPushButton>(id);
    if (!button->isEnabled()) {
        fail(std::string(what) + ": the button is disabled");
    }
    button->click();
}

bool ExamSoak::waitUntil(const std::function<bool()>& done, const char* what) {
    const auto bound = Clock::now() + std::chrono::minutes(1);
    while (!done()) {
        QCoreApplication::processEvents();
        if (done()) {
            break;
        }
        if (Clock::now() > bound) {
            fail(std::string("waited a minute for ") + what);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

bool ExamSoak::feedBlocks(std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i) {
        voice_.fill(block_);
        std::span<const std::byte> rest(block_);
        while (!rest.empty()) {
            rest = rest.last(soundCards_.record(rest));
            if (!rest.empty() &&
                !waitUntil([&] { return soundCards_.queuedCount() > 0; }, "a free buffer")) {
                return false;
            }
        }
        ++blocksFed_;
        audioSeconds_ += 2;
        // The fake logs every call; only the program's memory is measured.
        soundCards_.clearCalls();
        const Memory memory = memoryNow();
        if (blocksFed_ == kBlocksPerMinute) {
            atOneMinute_ = memory;
        } else if (blocksFed_ > kBlocksPerMinute) {
            peakRssAfterKb_ = std::max(peakRssAfterKb_, memory.rssKb);
        }
        hwmAtEndKb_ = memory.hwmKb;
    }
    return true;
}

bool ExamSoak::recordAnswer(int number, std::int64_t blocks) {
    // Valid KIM numbers, one per answer, from the register the window built.
    QString kim;
    for (int candidate = 1'000'000 + number * 9'973 % 8'000'000;; ++candidate) {
        kim = QString::number(candidate);
        if (KimRegister::contains(kim)) {
            break;
        }
    }
    type(ControlId::KimEntry, kim);
    click(ControlId::KimOk, "first KIM");
    type(ControlId::KimRepeatEntry, kim);
    click(ControlId::KimRepeatOk, "repeated KIM");
    if (!drain()) {
        return false;
    }
    Answer answer{{}, allFileSize(), blocks + 1};
    click(ControlId::RecordAnswer, "record answer");
    answer.fileName = window().session().answer.fileName();
    if (window().session().answer.state() != AnswerState::Recording) {
        fail("answer " + kim.toStdString() + " did not start");
        return false;
    }
    if (!feedBlocks(blocks) || !drain()) {
        return false;
    }
    click(ControlId::StopAnswer, "stop answer");
    // The sink writes the next block into the answer as well, then closes it.
    if (!feedBlocks(1) || !drain()) {
        return false;
    }
    if (window().session().answer.state() != AnswerState::Idle) {
        fail("answer " + kim.toStdString() + " was not closed");
        return false;
    }
    click(ControlId::Listen, "listen");
    click(ControlId::SaveAnswer, "save answer");
    answers_.push_back(answer);
    return true;
}

bool ExamSoak::record() {
    setMessageHandler([this](const MessageRequest& box) {
        static const QStringList questions = {"Начать экзамен?", "Закончить экзамен?",
                                              "Начало записи", "Завершить"};
        if (box.buttons == MessageButtons::YesNo && questions.contains(box.caption)) {
            return MessageAnswer::Yes;
        }
        if (box.buttons == MessageButtons::Ok && box.caption == "Buf playback") {
            return MessageAnswer::Ok;
        }
        fail("unexpected box " + (box.caption + ": " + box.text).toStdString());
        return box.buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    });

    const QDateTime examDay(QDate(2014, 5, 14), QTime(9, 30, 5), QTimeZone(3 * 3600));
    WindowServices services{&registry_, [](QWidget*) { return codes; }, nullptr,
                            [this, examDay] { return examDay.addSecs(audioSeconds_.load()); }};
    services.makeFallbackPlayer = [](QObject*) { return std::make_unique<SilentPlayer>(); };
    window_ = std::make_unique<ExamRecorderDialog>(std::move(services));
    // The first paint sets the session up, as in the program.
    window().show();
    auto* cards = window().control<QListWidget>(ControlId::SoundCardList);
    if (!waitUntil([&] { return cards->count() > 0; }, "the session set-up")) {
        return false;
    }

    const auto started = Clock::now();
    click(ControlId::StartExam, "start exam");
    if (!window().session().examRunning) {
        fail("the exam did not start");
        return false;
    }
    for (const auto& entry : fs::directory_iterator("out")) {
        if (entry.path().filename().string().starts_with("ALL_")) {
            allFile_ = entry.path();
        }
    }

    const std::int64_t totalBlocks = std::int64_t{minutes_} * kBlocksPerMinute;
    const std::int64_t slot = answerCount_ > 0 ? totalBlocks / answerCount_ : totalBlocks;
    for (int number = 0; number < answerCount_; ++number) {
        // Each answer in a slot of its own, of a length that varies from slot to slot.
        const std::int64_t gap = std::max<std::int64_t>(1, slot / 5);
        const std::int64_t length = std::max<std::int64_t>(1, slot / 2 - number % 4);
        if (!feedBlocks(number * slot + gap - blocksFed_) || !recordAnswer(number, length)) {
            return false;
        }
    }
    if (!feedBlocks(totalBlocks - blocksFed_) || !drain()) {
        return false;
    }
    click(ControlId::EndExam, "end exam");
    recordingSeconds_ = std::chrono::duration<double>(Clock::now() - started).count();
    if (window().session().allFile.isOpen() || registry_.devices().front()->isOpen()) {
        fail("the exam's end left the file or the sound card open");
    }
    window_.reset();
    setMessageHandler({});
    return true;
}

void ExamSoak::checkFiles() {
    const std::int64_t input = blocksFed_ * kBlockSamples;
    const mp3::Stream all = mp3::inspectFile(allFile_, mp3::Pcm::Drop);
    std::vector<std::uint64_t> frameOffsets;
    for (const mp3::Frame& frame : all.frames) {
        frameOffsets.push_back(frame.offset);
    }
    if (!all.error.empty() || !all.framesCoverInput()) {
        fail("the ALL file does not read as whole frames from end to end: " + all.error);
    }
    const std::int64_t decoded = static_cast<std::int64_t>(all.decodedSamples);
    std::printf("ALL file: %ju bytes, %zu frames; decoded %jd samples for %jd in (%+jd)\n",
                static_cast<std::uintmax_t>(allFileSize()), all.frames.size(),
                static_cast<std::intmax_t>(decoded), static_cast<std::intmax_t>(input),
                static_cast<std::intmax_t>(decoded - input));
    if (std::abs(decoded - input) > kFrameSamples + kEncoderDelay) {
        fail("the ALL file's length is off by more than a frame and the encoder delay");
    }

    int checked = 0;
    for (const Answer& answer : answers_) {
        const std::string name = answer.fileName;
        const std::vector<unsigned char> bytes = bytesOf(name);
        const mp3::Stream reading = mp3::inspect(bytes, mp3::Pcm::Drop);
        const bool atFrame =
            std::binary_search(frameOffsets.begin(), frameOffsets.end(), answer.allOffset);
        const std::int64_t samples =
            static_cast<std::int64_t>(reading.frames.size()) * kFrameSamples;
        if (bytes.empty() || bytes != bytesOf(allFile_, answer.allOffset, bytes.size())) {
            fail(name + " is not the ALL file's bytes from where the answer began");
        } else if (!atFrame) {
            fail(name + " does not begin at a frame of the ALL file");
        } else if (!reading.error.empty() || !reading.framesCoverInput()) {
            fail(name + " does not read as whole frames: " + reading.error);
        } else if (std::abs(samples - answer.blocks * kBlockSamples) > kFrameSamples) {
            fail(name + " holds " + std::to_string(samples) + " samples for " +
                 std::to_string(answer.blocks) + " blocks");
        } else {
            ++checked;
        }
    }
    std::printf(
        "answers: %d of %d checked (a byte slice of the ALL file at the frame where it "
        "began, its length within one frame of its blocks)\n",
        checked, answerCount_);
    if (static_cast<int>(answers_.size()) != answerCount_) {
        fail("only " + std::to_string(answers_.size()) + " answers were recorded");
    }
}

void ExamSoak::printFigures() const {
    const double inputSeconds = static_cast<double>(blocksFed_) * 2;
    std::printf("input: %.0f s (%d min), %d answers\n", inputSeconds, minutes_, answerCount_);
    std::printf("recording: %.1f s wall, %.1fx real time\n", recordingSeconds_,
                inputSeconds / recordingSeconds_);
    std::printf(
        "memory: VmRSS %ld kB at 1 min, peak %ld kB after (%+ld kB); VmHWM %ld kB at "
        "1 min, %ld kB at the end (%+ld kB)\n",
        atOneMinute_.rssKb, peakRssAfterKb_, peakRssAfterKb_ - atOneMinute_.rssKb,
        atOneMinute_.hwmKb, hwmAtEndKb_, hwmAtEndKb_ - atOneMinute_.hwmKb);
}

void ExamSoak::checkMemory() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // they hold freed memory
    if (peakRssAfterKb_ - atOneMinute_.rssKb > kMemoryAllowanceKb ||
        hwmAtEndKb_ - atOneMinute_.hwmKb > kMemoryAllowanceKb) {
        fail("memory grew by more than 1 MB after the first minute");
    }
#endif
}

int usage() {
    std::fprintf(stderr, "usage: exam_soak [--minutes N] [--answers M] FOLDER\n");
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    int minutes = 180;
    int answers = 100;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--minutes" || argument == "--answers") && i + 1 < argc) {
            (argument == "--minutes" ? minutes : answers) = std::atoi(argv[++i]);
        } else if (!argument.starts_with("--") && folder.empty()) {
            folder = argument;
        } else {
            return usage();
        }
    }
    // Each answer needs a slot of at least three blocks, and memory is compared from minute one.
    if (folder.empty() || minutes < 2 || answers < 0 ||
        (answers > 0 && minutes * kBlocksPerMinute / answers < 3)) {
        return usage();
    }
    std::string work = (fs::path(folder) / "exam-soak-XXXXXX").string();
    if (::mkdtemp(work.data()) == nullptr) {
        std::perror(work.c_str());
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(work));

    {
        ExamSoak soak(minutes, answers);
        if (soak.record()) {
            soak.printFigures();
            soak.checkMemory();
            soak.checkFiles();
        }
    }
    // The fake sound card reports misuse as test failures.
    if (::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed()) {
        fail("the fake sound card saw a call out of order");
    }

    QDir::setCurrent(previous);
    if (failures > 0) {
        std::printf("%d check(s) failed; the files are kept in %s\n", failures, work.c_str());
        return 1;
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    std::printf("all checks passed\n");
    return 0;
}
