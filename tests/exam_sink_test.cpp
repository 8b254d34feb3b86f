#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ExamTestAudio.h"
#include "RecorderTest.h"
#include "audio/EncoderLibrary.h"
#include "exam/CaptureGapWatch.h"
#include "exam/CaptureProblemReporter.h"
#include "exam/ExamJournal.h"
#include "exam/ExamSessionState.h"
#include "exam/Mp3FileSink.h"
#include "exam/RecordingEvents.h"
#include "exam/RecordingFile.h"

namespace {

using exam_test::contentsOf;
using exam_test::kBlockBytes;
using exam_test::tone;
namespace fs = std::filesystem;

// The window as the sink sees it: every report noted.
class WindowLog : public RecordingEvents {
public:
    void elapsedChanged(std::optional<std::int64_t> exam, std::uint64_t answer,
                        std::optional<std::int64_t> seconds) override {
        if (exam) {
            calls.push_back("exam " + std::to_string(*exam));
        }
        if (seconds) {
            calls.push_back("answer " + std::to_string(answer) + " " + std::to_string(*seconds));
        }
    }
    void answerStopped(std::uint64_t answer) override {
        calls.push_back("stopped " + std::to_string(answer));
    }
    void answerClosed(std::uint64_t answer) override {
        calls.push_back("closed " + std::to_string(answer));
    }
    void writeFailed(const std::string& fileName) override {
        calls.push_back("write failure " + fileName);
    }
    void captureProblem(const QString& text) override {
        calls.push_back("problem " + text.toStdString());
    }
    void captureNotice(const QString&) override {}

    std::vector<std::string> calls;
};

class Mp3FileSinkTest : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
        sink.emplace(session, window, journal, limit(), EncoderLibrary::instance());
        ASSERT_TRUE(session.allFile.open("all.mp3", RecordingFile::Mode::CreateNew));
        session.examRunning = true;
    }

    virtual std::int32_t limit() const { return 0; }

    // Hands the sink the next 2-s block.
    void block() {
        const std::vector<std::byte> pcm = tone(kBlockBytes / 4, frames);
        frames += kBlockBytes / 4;
        sink->onAudioData(pcm.data(), static_cast<std::uint32_t>(pcm.size()));
    }

    ExamSessionState session;
    WindowLog window;
    ExamJournal journal{{}, "journal"};
    std::size_t frames = 0;
    std::optional<Mp3FileSink> sink;
};

TEST_F(Mp3FileSinkTest, AnswerFileIsTheSliceOfTheAllFileFromItsOpeningToItsClose) {
    block();
    block();
    const auto answerBegins = fs::file_size("all.mp3");
    ASSERT_GT(answerBegins, 0u);
    ASSERT_TRUE(session.answer.open("answer.mp3", "0000017"));
    block();
    block();
    ASSERT_TRUE(session.answer.requestStop());  // the organiser's stop
    window.calls.clear();
    block();
    const auto answerEnds = fs::file_size("all.mp3");
    block();

    EXPECT_EQ(window.calls,
              (std::vector<std::string>{"exam 10", "answer 1 6", "closed 1", "exam 12"}));
    EXPECT_EQ(session.answer.state(), AnswerState::Idle);
    EXPECT_EQ(session.answer.elapsed(), 6);
    QFile journalFile("journal");
    ASSERT_TRUE(journalFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        journalFile.readAll().endsWith("\tостановлена запись ответа\tКИМ 0000017\tanswer.mp3\n"));
    EXPECT_EQ(session.examElapsed, 12);
    const std::vector<unsigned char> all = contentsOf("all.mp3");
    const std::vector<unsigned char> answer = contentsOf("answer.mp3");
    ASSERT_GT(answer.size(), 0u);
    EXPECT_EQ(answer,
              std::vector<unsigned char>(all.begin() + answerBegins, all.begin() + answerEnds));
    EXPECT_TRUE(session.allFile.isOpen());
}

TEST_F(Mp3FileSinkTest, AfterTheExamsEndBlocksGoOnlyToAnOpenAllFileAndTheWindowIsLeftAlone) {
    block();
    session.examRunning = false;
    window.calls.clear();
    const auto before = fs::file_size("all.mp3");
    block();  // handed over by the stop: still the exam's
    EXPECT_GT(fs::file_size("all.mp3"), before);
    ASSERT_EQ(session.allFile.close(), WriteResult::Ok);
    const auto closed = fs::file_size("all.mp3");
    block();
    EXPECT_EQ(fs::file_size("all.mp3"), closed);
    EXPECT_TRUE(window.calls.empty()) << window.calls.front();
}

struct LimitCase {
    const char* name;
    std::int32_t maxAnswerSeconds;
    int blocks;     // of 2 s each, from the answer's opening
    int stoppedAt;  // index of the block that stops the answer, or -1
};

void PrintTo(const LimitCase& limit, std::ostream* out) {
    *out << limit.name;
}

class AnswerLimitTest : public Mp3FileSinkTest, public ::testing::WithParamInterface<LimitCase> {
protected:
    std::int32_t limit() const override { return GetParam().maxAnswerSeconds; }
};

TEST_P(AnswerLimitTest, StopsOnTheFirstBlockPastTheLimitAndWritesThatBlock) {
    const LimitCase& limit = GetParam();
    ASSERT_TRUE(session.answer.open("answer.mp3", "0000017"));
    std::uintmax_t answerBytes = 0;
    for (int index = 0; index < limit.blocks; ++index) {
        SCOPED_TRACE(index);
        window.calls.clear();
        const auto before = fs::file_size("all.mp3");
        block();
        if (limit.stoppedAt < 0 || index <= limit.stoppedAt) {
            answerBytes += fs::file_size("all.mp3") - before;
        }
        const bool stops = index == limit.stoppedAt;
        EXPECT_EQ(std::count(window.calls.begin(), window.calls.end(), "stopped 1"), stops ? 1 : 0);
        EXPECT_EQ(std::count(window.calls.begin(), window.calls.end(), "closed 1"), stops ? 1 : 0);
        EXPECT_EQ(session.answer.state() == AnswerState::Idle,
                  limit.stoppedAt >= 0 && index >= limit.stoppedAt);
    }
    EXPECT_EQ(fs::file_size("answer.mp3"), answerBytes);
    EXPECT_EQ(session.stopWithoutAsking, limit.stoppedAt >= 0);
}

INSTANTIATE_TEST_SUITE_P(MaxAnswerSeconds, AnswerLimitTest,
                         ::testing::Values(LimitCase{"SixtyStopsAt62", 60, 33, 30},
                                           LimitCase{"FiftyNineStopsAt60", 59, 31, 29},
                                           LimitCase{"ZeroNeverStops", 0, 40, -1},
                                           LimitCase{"OneStopsAt2", 1, 2, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Mp3FileSinkTest, WriteFailureIsToldOncePerFileAndTheOtherFileGoesOn) {
    // A limit on file sizes fills the larger file: first the answer, begun with the exam, while
    // a fresh ALL file stays below it; then that ALL file while a fresh answer stays below.
    const auto told = [&](const std::string& file) {
        return std::count(window.calls.begin(), window.calls.end(), "write failure " + file);
    };
    ASSERT_TRUE(session.answer.open("answer-1.mp3", "0000017"));
    for (int i = 0; i < 3; ++i) {
        block();
    }
    const auto perBlock = fs::file_size("answer-1.mp3") / 3;
    ASSERT_TRUE(session.allFile.open("all-2.mp3", RecordingFile::Mode::CreateNew));
    const exam_test::FileSizeLimit limit(perBlock * 5 / 2);
    ASSERT_TRUE(limit.isSet());
    block();
    block();
    EXPECT_GT(fs::file_size("all-2.mp3"), perBlock);
    EXPECT_EQ(told("answer-1.mp3"), 1);

    ASSERT_TRUE(session.answer.requestStop());
    block();
    ASSERT_TRUE(session.answer.open("answer-2.mp3", "0000017"));
    block();
    block();
    EXPECT_GT(fs::file_size("answer-2.mp3"), perBlock);
    EXPECT_EQ(told("all-2.mp3"), 1);
    EXPECT_EQ(told("answer-1.mp3"), 1);
}

using RecordingFileTest = RecorderTest;

// The file layer's own test goes through every kind of name; a link stands for them here.
TEST_F(RecordingFileTest, NeverOpensThroughALink) {
    std::ofstream("target") << "kept";
    fs::create_symlink("target", "answer.mp3");
    for (const auto mode : {RecordingFile::Mode::CreateNew, RecordingFile::Mode::Replace}) {
        RecordingFile file;
        EXPECT_FALSE(file.open("answer.mp3", mode));
        EXPECT_FALSE(file.isOpen());
    }
    EXPECT_EQ(contentsOf("target"), std::vector<unsigned char>({'k', 'e', 'p', 't'}));
}

TEST_F(Mp3FileSinkTest, BlockTheEncoderRefusesIsToldOnce) {
    const std::vector<std::byte> odd(6);  // three samples: half a stereo frame
    sink->onAudioData(odd.data(), 6);
    sink->onAudioData(odd.data(), 6);
    block();
    const auto problems = std::count_if(
        window.calls.begin(), window.calls.end(),
        [](const std::string& call) { return call.starts_with("problem Ошибка кодирования"); });
    EXPECT_EQ(problems, 1);
    EXPECT_GT(fs::file_size("all.mp3"), 0u);
}

CaptureGapWatch watchOn(const std::chrono::duration<double>& now) {
    return CaptureGapWatch([&now] {
        return std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::nanoseconds>(now));
    });
}

// Blocks handed back 2 s apart on a clock the test moves, but for what it adds: three losses
// of 3 s, each told once and journaled where it began.
TEST_F(Mp3FileSinkTest, EachLossIsToldOnceWithItsWholeLengthAndJournaledWhereItFalls) {
    std::chrono::duration<double> now{};
    session.gaps = watchOn(now);
    CaptureProblemReporter reporter(window, session, journal);
    const auto blockAfter = [&](double seconds) {
        now += std::chrono::duration<double>(seconds);
        block();
    };
    for (const double jitter : {0.0, 0.3, -0.2, 0.1, -0.2, 0.0}) {
        blockAfter(2 + jitter);
    }
    ASSERT_TRUE(session.answer.open("answer.mp3", "0000017"));
    blockAfter(2 + 3);  // the process stood still for 3 s and the system kept none of it
    blockAfter(2);
    blockAfter(2 + 5);  // still for 5 s, of which a queue kept 2 s that came at once
    blockAfter(0.01);
    blockAfter(2);
    for (int i = 0; i < 10; ++i) {
        reporter.onOverrun(13'230);  // the back end's loss, also missing from the sound
        blockAfter(2.3);
    }
    blockAfter(2);
    blockAfter(2);
    now += std::chrono::duration<double>(8);  // the card left after the last block, for good
    sink->finish();
    const std::string told =
        "problem " + CaptureProblemReporter::lostAudioText(132'300).toStdString();
    EXPECT_EQ(std::count(window.calls.begin(), window.calls.end(), told), 3);
    QFile file("journal");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(
        lines[3].endsWith("\t8,0 с\tall.mp3\t00:00.46-00:00.46\tКИМ 0000017\tanswer.mp3\t"
                          "00:00.34-00:00.34"))
        << lines[3].toStdString();
    EXPECT_TRUE(
        lines[0].endsWith("\tпотеряна часть звука\t3,0 с\tall.mp3\t00:00.12-00:00.14\tКИМ "
                          "0000017\tanswer.mp3\t00:00.00-00:00.02"));
    EXPECT_TRUE(
        lines[2].endsWith("\t3,0 с\tall.mp3\t00:00.22-00:00.42\tКИМ 0000017\tanswer.mp3\t"
                          "00:00.10-00:00.30"));
}

// A card's clock off the computer's by 0.02 % either way through a 45-minute exam, its sound
// begun 0.45 s after its start and its blocks back up to 0.3 s late.
TEST(CaptureGapWatchTest, CardClockDriftIsNeverALoss) {
    for (const double pace : {1.0002, 0.9998}) {
        std::chrono::duration<double> now{};
        CaptureGapWatch watch = watchOn(now);
        watch.onCaptureStarted(std::chrono::milliseconds(500));
        for (int i = 0; i < 45 * 30; ++i) {
            now = std::chrono::duration<double>(0.45 + 2 * pace * (i + 1) + 0.1 * (i % 4));
            ASSERT_FALSE(watch.onBlock(88'200) || watch.inGap()) << "block " << i << " " << pace;
        }
    }
}

// The process stood still 30 s before the first block; the system kept 24 s, which came at once.
TEST(CaptureGapWatchTest, AStillnessBeforeTheFirstBlockCountsFromTheCaptureStart) {
    std::chrono::duration<double> now{};
    CaptureGapWatch watch = watchOn(now);
    watch.onCaptureStarted(std::chrono::milliseconds(500));
    now = std::chrono::duration<double>(30);
    for (int i = 0; i < 12; ++i) {
        EXPECT_FALSE(watch.onBlock(88'200));
    }
    now += std::chrono::duration<double>(2);
    // The 6 s missing, less the half second a card is given to start.
    EXPECT_NEAR(static_cast<double>(watch.onBlock(88'200).value_or(0)) / 44'100, 5.5, 0.01);
}

TEST(ElapsedTextTest, ShowsHoursOfTheDayMinutesAndSeconds) {
    EXPECT_EQ(elapsedText(0), "00:00.00");
    EXPECT_EQ(elapsedText(3'907), "01:05.07");
    EXPECT_EQ(elapsedText(86'400 + 3'661), "01:01.01");
    EXPECT_EQ(elapsedText(-5), "00:00.00");
}

}  // namespace
