// SIGKILL, or the organiser closing the program, at random moments of an answer. The tests run
// RecordsUntilKilled in a process of their own binary, end it, and play what it left on disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>

#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SoakSettings.h"
#include "WindowFixture.h"
#include "base/ProcessExit.h"
#include "exam/InterruptedExam.h"
#include "support/ChildProcess.h"
#include "support/Mp3Inspector.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
// CLOCK_MONOTONIC, which the killed process shares.
using Clock = std::chrono::steady_clock;

constexpr const char* kFolderVariable = "EXAM_CRASH_DIR";
constexpr const char* kLeadVariable = "EXAM_CRASH_LEAD_MS";
constexpr const char* kCloseVariable = "EXAM_CRASH_CLOSE_AFTER_MS";
constexpr std::size_t kPieceFrames = 4'410;  // 100 ms
constexpr double kRate = 44'100;
constexpr std::size_t kFrameSamples = 1'152;
constexpr double kEncoderDelay = 576 + 529;
constexpr std::size_t kLongestFrame = 418;  // 128 kbit/s at 44.1 kHz, padded
constexpr double kMostLost = 2.5;
constexpr const char* kAnswerFile = "0123-001-eng_0000017.mp3";

double seconds(Clock::duration span) {
    return std::chrono::duration<double>(span).count();
}

std::string textOf(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// When the first 100 ms of sound reached the card and when the answer was started.
struct Moments {
    Clock::time_point examSound;
    Clock::time_point answer;
};

// Written under another name first, so a reader never sees half of it.
void writeMoments(const fs::path& file, std::initializer_list<Clock::time_point> moments) {
    fs::path part = file;
    part += ".part";
    {
        std::ofstream out(part);
        for (const Clock::time_point moment : moments) {
            out << moment.time_since_epoch().count() << ' ';
        }
    }
    fs::rename(part, file);
}

std::vector<Clock::time_point> momentsIn(const fs::path& file) {
    std::ifstream in(file);
    std::vector<Clock::time_point> moments;
    for (Clock::rep count = 0; in >> count;) {
        moments.emplace_back(Clock::duration(count));
    }
    return moments;
}

// This binary running `test` in `folder`, its output in folder/log.
// With `closeAfterMs`, it closes the program that long into the answer instead of waiting.
std::unique_ptr<test_support::ChildProcess> startRecorder(
    const fs::path& folder, int leadMs, std::optional<int> closeAfterMs = {},
    const std::string& test = "CrashKillTest.RecordsUntilKilled") {
    test_support::ChildProcess::Options options;
    // TMPDIR puts the recorder's working folder inside `folder` too.
    options.environment = {std::string(kFolderVariable) + "=" + folder.string(),
                           std::string(kLeadVariable) + "=" + std::to_string(leadMs),
                           "TMPDIR=" + folder.string()};
    if (closeAfterMs) {
        options.environment.push_back(std::string(kCloseVariable) + "=" +
                                      std::to_string(*closeAfterMs));
    }
    options.outputFile = (folder / "log").string();
    return std::make_unique<test_support::ChildProcess>(
        std::vector<std::string>{fs::read_symlink("/proc/self/exe").string(),
                                 "--gtest_filter=" + test},
        options);
}

// A recording cut by the kill: the bytes, and the whole frames a player decodes from them.
struct CutRecording {
    std::vector<unsigned char> bytes;
    std::vector<mp3::Frame> frames;
};

// Clean means frames that follow each other from the first byte, decode without a complaint
// and carry the tone fed throughout. Only the kill may have cut a last frame short: a write
// stopped mid-block leaves the start of one, never anything else.
CutRecording playedOnce(const fs::path& file) {
    CutRecording recording{exam_test::contentsOf(file), {}};
    const mp3::Stream stream = mp3::inspect(recording.bytes);
    EXPECT_EQ(stream.error, "") << file;
    std::size_t end = 0;
    for (const mp3::Frame& frame : stream.frames) {
        if (frame.offset != end || end + frame.size > recording.bytes.size()) {
            break;
        }
        recording.frames.push_back(frame);
        end += frame.size;
    }
    const std::size_t cut = recording.bytes.size() - end;
    EXPECT_LT(cut, kLongestFrame) << file << ": not a sequence of frames";
    if (cut > 0) {
        EXPECT_EQ(recording.bytes[end], 0xFF) << file << ": junk after the last whole frame";
    }

    const std::size_t channels = std::max(stream.channels, 1);
    const std::size_t samples =
        std::min(stream.pcm.size() / channels, recording.frames.size() * kFrameSamples);
    // Past the first 100 ms: the encoder's delay and a first frame decoded without its
    // predecessor are quiet. The tone is at -13.5 dBFS.
    const double quiet = 0.1 * 32767;
    for (std::size_t from = kPieceFrames; from + kPieceFrames <= samples; from += kPieceFrames) {
        double energy = 0;
        for (std::size_t i = from; i < from + kPieceFrames; ++i) {
            energy += static_cast<double>(stream.pcm[i * channels]) * stream.pcm[i * channels];
        }
        if (energy / kPieceFrames < quiet * quiet) {
            ADD_FAILURE() << file << ": no tone at " << from / kRate << " s";
            break;
        }
    }
    return recording;
}

std::optional<fs::path> findIn(const fs::path& folder, auto&& matches) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (matches(entry.path().filename().string())) {
            return entry.path();
        }
    }
    return std::nullopt;
}

class CrashKillTest : public ScriptedCardTest {};

// The process to end: an exam on a scripted card that gets its sound at wall-clock pace, and
// an answer started EXAM_CRASH_LEAD_MS later, recorded until the process is killed, or closed
// EXAM_CRASH_CLOSE_AFTER_MS into the answer.
TEST_F(CrashKillTest, RecordsUntilKilled) {
    const char* folder = std::getenv(kFolderVariable);
    if (folder == nullptr) {
        GTEST_SKIP() << "started by FilesPlayUpToShortlyBeforeEveryKill";
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    window();
    yes(ControlId::StartExam);
    ASSERT_TRUE(soundCards.waitUntilQueued(2));

    const Clock::time_point examSound = Clock::now();
    std::jthread card([&](std::stop_token stop) {
        for (std::size_t piece = 0; !stop.stop_requested(); ++piece) {
            std::this_thread::sleep_until(examSound + piece * 100ms);
            soundCards.record(exam_test::tone(kPieceFrames, piece * kPieceFrames));
        }
    });
    QTest::qWait(soakSetting(kLeadVariable, 0));
    enterKim("0000017");
    const Clock::time_point answer = Clock::now();
    yes(ControlId::RecordAnswer);
    ASSERT_EQ(dialog->session().answer.state(), AnswerState::Recording);
    writeMoments(fs::path(folder) / "started", {examSound, answer});
    if (const int closeAfter = soakSetting(kCloseVariable, -1); closeAfter >= 0) {
        QTest::qWait(closeAfter);
        writeMoments(fs::path(folder) / "closing", {Clock::now()});
        setExitHandler({});
        answerNext(MessageAnswer::Yes);
        dialog->askToClose();
        FAIL() << "the close question's Yes did not end the process";
    }
    QTest::qWait(3'600'000);
    FAIL() << "never killed";
}

using CrashKillOnSoundServerTest = SoundServerWindowTest;

// The process to stop: an exam on the sound server's card and an answer, recorded until the
// file "end" appears; then the boxes shown are printed and the program closed.
TEST_F(CrashKillOnSoundServerTest, RecordsUntilAskedToEnd) {
    const char* folder = std::getenv(kFolderVariable);
    if (folder == nullptr) {
        GTEST_SKIP() << "started by StoppedForHalfAMinuteMidAnswerTellsTheLossOnce";
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    openServerWindow();
    yes(ControlId::StartExam);
    const Clock::time_point examSound = Clock::now();
    enterKim("0000017");
    yes(ControlId::RecordAnswer);
    writeMoments(fs::path(folder) / "started", {examSound, Clock::now()});
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(fs::path(folder) / "end"); }, 600'000));
    for (const MessageRequest& box : boxes) {
        std::cout << "box: " << box.text.toStdString() << std::endl;
    }
    writeMoments(fs::path(folder) / "ended", {Clock::now()});
    setExitHandler({});
    answerNext(MessageAnswer::Yes);
    dialog->askToClose();
    FAIL() << "the close question's Yes did not end the process";
}

// Waits for the recorder in `folder` to start its answer; nothing when it ended or took a minute.
std::optional<Moments> answerStarted(test_support::ChildProcess& recorder, const fs::path& folder) {
    for (const auto giveUp = Clock::now() + 60s; Clock::now() < giveUp;) {
        std::this_thread::sleep_for(10ms);
        if (recorder.hasEnded()) {
            ADD_FAILURE() << "the recorder ended before the answer started:\n"
                          << textOf(folder / "log");
            return std::nullopt;
        }
        if (const auto moments = momentsIn(folder / "started"); moments.size() == 2) {
            return Moments{moments[0], moments[1]};
        }
    }
    ADD_FAILURE() << "the answer did not start:\n" << textOf(folder / "log");
    return std::nullopt;
}

// Plays the two files the recorder left in `folder` when it ended at `end`, and returns how
// much sound fed before `end` the later of them lacks, at most `mostLost` seconds.
double checkRecordings(const fs::path& folder, const Moments& started, Clock::time_point end,
                       double mostLost) {
    const auto allFile =
        findIn(folder, [](const std::string& name) { return name.starts_with("ALL_"); });
    const auto answerFile =
        findIn(folder, [](const std::string& name) { return name == kAnswerFile; });
    if (!allFile || !answerFile) {
        ADD_FAILURE() << "a recording is missing";
        return 0;
    }
    const CutRecording all = playedOnce(*allFile);
    const CutRecording answer = playedOnce(*answerFile);

    // Where each file's sound ends on the exam's time line, which starts with the first
    // sample fed.
    const double examSoFar = seconds(end - started.examSound);
    const double allEnd = (all.frames.size() * kFrameSamples - kEncoderDelay) / kRate;
    EXPECT_LE(examSoFar - allEnd, mostLost) << "ALL file";
    EXPECT_GE(examSoFar - allEnd, -0.1) << "the ALL file holds sound never fed";
    double loss = examSoFar - allEnd;

    const double answerSoFar = seconds(end - started.answer);
    EXPECT_GE(answer.frames.size() * kFrameSamples / kRate, answerSoFar - mostLost)
        << "answer file";
    if (!answer.frames.empty()) {
        // The answer is the same stream as the ALL file: its frames are a slice of it.
        const std::size_t size = answer.frames.back().offset + answer.frames.back().size;
        const auto slice = std::search(all.bytes.begin(), all.bytes.end(), answer.bytes.begin(),
                                       answer.bytes.begin() + size);
        const auto first =
            std::find_if(all.frames.begin(), all.frames.end(), [&](const mp3::Frame& frame) {
                return frame.offset == static_cast<std::size_t>(slice - all.bytes.begin());
            });
        if (first == all.frames.end()) {
            ADD_FAILURE() << "the answer is not a slice of the ALL file";
            return loss;
        }
        const auto framesBefore = static_cast<double>(first - all.frames.begin());
        const double answerEnd =
            ((framesBefore + answer.frames.size()) * kFrameSamples - kEncoderDelay) / kRate;
        EXPECT_LE(examSoFar - answerEnd, mostLost) << "answer file";
        loss = std::max(loss, examSoFar - answerEnd);
    }
    return loss;
}

int runSeed() {
    const int seed =
        soakSetting("EXAM_CRASH_SEED", static_cast<int>(std::random_device{}() & 0x7fff'ffff));
    std::cout << "EXAM_CRASH_SEED=" << seed << " repeats this run" << std::endl;
    return seed;
}

// EXAM_CRASH_KILLS kills, each at a moment from 0.3 to EXAM_CRASH_MAX_SECONDS s into the
// answer; EXAM_CRASH_SEED repeats a run.
TEST_F(CrashKillTest, FilesPlayUpToShortlyBeforeEveryKill) {
    const int kills = soakSetting("EXAM_CRASH_KILLS", 20);
    const double latest = soakSetting("EXAM_CRASH_MAX_SECONDS", 4.5);
    const int seed = runSeed();
    std::mt19937 random(static_cast<std::uint32_t>(seed));
    std::uniform_int_distribution<int> leadMs(0, 2'500);
    std::uniform_real_distribution<double> moment(0.3, latest);
    double worstLoss = 0;
    int kill = 1;
    for (; kill <= kills && !HasFailure(); ++kill) {
        const int lead = leadMs(random);
        const double after = moment(random);
        SCOPED_TRACE(testing::Message()
                     << "EXAM_CRASH_SEED=" << seed << ", kill " << kill << ": answer " << lead
                     << " ms into the exam, killed " << after << " s into the answer");
        const fs::path folder = fs::path(workingFolder().toStdString()) / std::to_string(kill);
        fs::create_directory(folder);
        const auto recorder = startRecorder(folder, lead);
        ASSERT_TRUE(recorder->started());

        const std::optional<Moments> started = answerStarted(*recorder, folder);
        if (started) {
            std::this_thread::sleep_until(started->answer + std::chrono::duration<double>(after));
        }
        const Clock::time_point killed = Clock::now();
        recorder->signal(SIGKILL);
        recorder->wait();
        ASSERT_TRUE(started);
        ASSERT_EQ(recorder->endingSignal(), SIGKILL) << textOf(folder / "log");

        worstLoss = std::max(worstLoss, checkRecordings(folder, *started, killed, kMostLost));
        if (kill == 1) {
            // The next start there names the participant to record again, and no other.
            const auto out = findIn(folder, [](const std::string& name) { return name == "out"; });
            ASSERT_TRUE(out && QDir::setCurrent(QString::fromStdString(out->parent_path())));
            answerNext(MessageAnswer::Yes);  // "Папка out": it holds the recordings
            window();
            dialog.reset();
            const auto interrupted = findInterruptedExam("out");
            ASSERT_TRUE(QDir::setCurrent(workingFolder()));
            ASSERT_TRUE(interrupted);
            EXPECT_EQ(interrupted->kims, QStringList{"0000017"});
            ASSERT_EQ(boxes.back().caption, "Экзамен был прерван");
            EXPECT_EQ(boxes.back().text, interruptedExamText(*interrupted));
        }
        fs::remove_all(folder);
    }
    std::cout << kill - 1 << " kills, at most " << latest << " s into the answer; worst loss "
              << worstLoss << " s\n";
}

// The whole recorder stopped for 30 s mid-answer: what the sound server's queue could not keep
// is told in one box and one journal line, with the length the ALL file lacks.
TEST_F(CrashKillTest, StoppedForHalfAMinuteMidAnswerTellsTheLossOnce) {
    if (const auto reason = test_support::PulseAudioServer::unavailableReason()) {
        GTEST_SKIP() << *reason;
    }
    const fs::path folder = workingFolder().toStdString();
    const auto recorder =
        startRecorder(folder, 0, {}, "CrashKillOnSoundServerTest.RecordsUntilAskedToEnd");
    const std::optional<Moments> started = answerStarted(*recorder, folder);
    ASSERT_TRUE(started);
    // Mid-answer; EXAM_STOP_AFTER_MS=500 stops it before the first block has come.
    std::this_thread::sleep_for(
        std::chrono::milliseconds(soakSetting("EXAM_STOP_AFTER_MS", 4'000)));
    recorder->signal(SIGSTOP);
    std::this_thread::sleep_for(30s);
    recorder->signal(SIGCONT);
    std::this_thread::sleep_for(10s);  // the queue drained, then blocks recorded whole
    std::ofstream(folder / "end").close();
    ASSERT_EQ(recorder->wait(60s), 1) << textOf(folder / "log");

    const auto allFile =
        findIn(folder, [](const std::string& name) { return name.starts_with("ALL_"); });
    const auto journal =
        findIn(folder, [](const std::string& name) { return name == ".exam-journal"; });
    const std::vector<Clock::time_point> ended = momentsIn(folder / "ended");
    ASSERT_TRUE(allFile && journal && ended.size() == 1);
    const auto allFrames =
        static_cast<double>(mp3::inspectFile(*allFile, mp3::Pcm::Drop).frames.size());
    const double lost = seconds(ended[0] - started->examSound) -
                        (allFrames * kFrameSamples - kEncoderDelay) / kRate;
    const QString lines = QString::fromStdString(textOf(*journal));
    const QString log = QString::fromStdString(textOf(folder / "log"));
    const QRegularExpression journaled("\tпотеряна часть звука\t([0-9,]+) с\t");
    const QRegularExpression told("box: Часть звука потеряна: ([0-9,]+) с");
    ASSERT_EQ(lines.count(journaled), 1) << lines.toStdString();
    EXPECT_EQ(log.count(told), 1) << log.toStdString();
    const QString length = journaled.match(lines).captured(1);
    EXPECT_EQ(told.match(log).captured(1), length);
    EXPECT_NEAR(QLocale(QLocale::Russian).toDouble(length), lost, 1.0) << lines.toStdString();
    std::cout << "stopped 30 s: the ALL file lacks " << lost << " s, told " << length.toStdString()
              << " s\n";
}

// "Закрыть программу?" answered Yes EXAM_CRASH_CLOSES times, at a moment from 0.3 to
// EXAM_CRASH_MAX_SECONDS s into the answer: the process ends with status 1 and both files hold
// the sound up to the close, the block in hand included.
TEST_F(CrashKillTest, ClosingMidAnswerKeepsTheSoundUpToTheClose) {
    const int closes = soakSetting("EXAM_CRASH_CLOSES", 3);
    const double latest = soakSetting("EXAM_CRASH_MAX_SECONDS", 4.5);
    const int seed = runSeed();
    std::mt19937 random(static_cast<std::uint32_t>(seed));
    std::uniform_int_distribution<int> moment(300, static_cast<int>(latest * 1000));
    // The card is fed in 100 ms pieces, and the encoder keeps back less than two frames.
    constexpr double kFeedAndEncoder = 0.1 + 2 * kFrameSamples / kRate;
    for (int close = 1; close <= closes && !HasFailure(); ++close) {
        const int after = moment(random);
        SCOPED_TRACE(testing::Message() << "EXAM_CRASH_SEED=" << seed << ", close " << close << ": "
                                        << after << " ms into the answer");
        const fs::path folder = fs::path(workingFolder().toStdString()) / std::to_string(close);
        fs::create_directory(folder);
        const auto recorder = startRecorder(folder, 0, after);
        ASSERT_TRUE(recorder->started());
        const std::optional<Moments> started = answerStarted(*recorder, folder);
        const int status = recorder->wait(60s);
        ASSERT_TRUE(started) << textOf(folder / "log");
        ASSERT_EQ(status, 1) << textOf(folder / "log");
        const std::vector<Clock::time_point> closing = momentsIn(folder / "closing");
        ASSERT_EQ(closing.size(), 1u);

        checkRecordings(folder, *started, closing.front(), kFeedAndEncoder);
        fs::remove_all(folder);
    }
}

}  // namespace
