#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "WindowFixture.h"
#include "audio/PlayerLibrary.h"
#include "exam/PlaybackLibraryPlayer.h"
#include "platform/SharedLibrary.h"
#include "session/KimRegister.h"
#include "support/Mp3Inspector.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using exam_test::contentsOf;
namespace fs = std::filesystem;

// About 4 s of speech.
constexpr const char* kSpeech = "Раз, два, три, четыре, пять, шесть, семь, восемь.";

// Valid KIM numbers after 0000017, as the register has them.
std::vector<QString> validKims(std::size_t count) {
    std::vector<QString> kims{"0000017"};
    for (int number = 18; kims.size() < count; ++number) {
        const QString kim = QString::asprintf("%07d", number);
        if (KimRegister::contains(kim)) {
            kims.push_back(kim);
        }
    }
    return kims;
}

class AnswersOnSoundServerTest : public SoundServerWindowTest {
public:
    bool waitForListen() {
        return QTest::qWaitFor([&] { return dialog->control(ControlId::Listen)->isEnabled(); },
                               15'000);
    }
    // Listens to the last answer; how loud the sound server played it.
    double listen() {
        click(ControlId::Listen);
        EXPECT_TRUE(dialog->control(ControlId::SaveAnswer)->isEnabled());
        return lastPlaybackLevel;
    }
    QString status() { return text(ControlId::StatusLine); }
    // Records an answer while the speech plays and stops it after about 3.5 s.
    void recordSpokenAnswer() {
        std::thread speaker([] {
            runProgram({"paplay",
                        std::string("--device=") + test_support::PulseAudioServer::kSinkName,
                        "speech.wav"});
        });
        yes(ControlId::RecordAnswer);
        QTest::qWait(3'500);
        yes(ControlId::StopAnswer);
        speaker.join();
    }
    const CurrentAnswer& answer() { return dialog->session().answer; }

    double lastPlaybackLevel = 0;
};

TEST_F(AnswersOnSoundServerTest, EachAnswerIsASliceOfTheExamAndIsHeardBeforeItIsSaved) {
    ASSERT_EQ(runProgram({"espeak-ng", "-v", "ru", "-w", "speech.wav", kSpeech}), 0);
    PlayerLibrary bass;
    ASSERT_TRUE(bass.load(programFolder()));  // the test program sits with the libraries
    const bool playerReady =
        bass.init(-1, 44100, 0, nullptr, nullptr) != 0 || bass.errorGetCode() == BASS_ERROR_ALREADY;
    ASSERT_TRUE(playerReady) << bass.errorGetCode();
    PlaybackLibraryPlayer player(bass);

    WindowServices services;
    services.libraryPlayer = &player;
    services.longestAnswer = [] { return LongestAnswer{4, {}}; };
    openServerWindow(std::move(services));

    // The playback box stays open until its countdown closes it; the monitor hears meanwhile.
    std::map<QString, std::uintmax_t> sizeWhenStopAsked;
    const MessageHandler answers = setMessageHandler({});
    setMessageHandler([&](const MessageRequest& request) {
        if (request.caption == "Buf playback") {
            OpenBox box(request.caption);
            const auto opened = Clock::now();
            EXPECT_TRUE(QTest::qWaitFor([&] { return box.isClosed(); }, 20'000));
            awake->waitUntilCaptured(Clock::now(), 10s);
            lastPlaybackLevel = awake->rms(opened, Clock::now()).value_or(0);
        }
        return answers(request);
    });

    const std::vector<QString> kims = validKims(4);
    answerNext(MessageAnswer::Yes);
    click(ControlId::StartExam);
    ASSERT_EQ(status(), "Начали экзамен.");

    // Two participants, the second recorded twice.
    enterKim(kims[0]);
    recordSpokenAnswer();
    ASSERT_TRUE(waitForListen());
    EXPECT_GT(listen(), 0.02);
    click(ControlId::SaveAnswer);

    enterKim(kims[1]);
    recordSpokenAnswer();
    ASSERT_TRUE(waitForListen());
    recordSpokenAnswer();  // "перезаписать"
    EXPECT_EQ(boxes[boxes.size() - 2].caption, "Файл already exists");
    ASSERT_TRUE(waitForListen());
    EXPECT_GT(listen(), 0.02);
    click(ControlId::SaveAnswer);

    // Left alone, an answer stops by itself past the maximum of 4 s.
    enterKim(kims[2]);
    const std::size_t asked = boxes.size();
    yes(ControlId::RecordAnswer);
    ASSERT_TRUE(waitForListen());
    EXPECT_EQ(boxes.size(), asked + 1) << "a question was asked";
    EXPECT_GE(answer().elapsed(), 5);
    EXPECT_LE(answer().elapsed(), 6);
    EXPECT_EQ(status(), "Запись остановлена. Последний номер КИМ: " + kims[2]);
    listen();
    click(ControlId::SaveAnswer);

    // The stop question still open when the maximum stops the answer: Yes changes nothing.
    enterKim(kims[3]);
    yes(ControlId::RecordAnswer);
    const QString lastFile = QString("out/0123-001-eng_") + kims[3] + ".mp3";
    std::uintmax_t closedSize = 0;
    setMessageHandler([&, inner = setMessageHandler({})](const MessageRequest& request) {
        if (request.text == "Завершить запись?") {
            EXPECT_TRUE(waitForListen());
            closedSize = fs::file_size(lastFile.toStdString());
        }
        return inner(request);
    });
    yes(ControlId::StopAnswer);
    const QString stopped = status();
    EXPECT_EQ(answer().state(), AnswerState::Idle);
    EXPECT_TRUE(dialog->control(ControlId::Listen)->isEnabled());
    QTest::qWait(2'500);
    EXPECT_EQ(fs::file_size(lastFile.toStdString()), closedSize);
    EXPECT_EQ(status(), stopped);
    listen();
    click(ControlId::SaveAnswer);

    answerNext(MessageAnswer::Yes);
    click(ControlId::EndExam);
    ASSERT_EQ(status(), "Закончили экзамен.");

    ASSERT_EQ(allFiles().size(), 1u);
    const std::vector<unsigned char> all = contentsOf(allFiles().front());
    const mp3::Stream exam = mp3::inspectFile(allFiles().front());
    ASSERT_EQ(exam.error, "");
    std::vector<std::size_t> frameOffsets;
    for (const mp3::Frame& frame : exam.frames) {
        frameOffsets.push_back(frame.offset);
    }
    for (const QString& kim : kims) {
        SCOPED_TRACE(kim.toStdString());
        const fs::path file = "out/0123-001-eng_" + kim.toStdString() + ".mp3";
        const std::vector<unsigned char> answer = contentsOf(file);
        ASSERT_GT(answer.size(), 0u);
        const auto found = std::search(all.begin(), all.end(), answer.begin(), answer.end());
        ASSERT_NE(found, all.end()) << "not a slice of the exam's recording";
        const auto offset = static_cast<std::size_t>(found - all.begin());
        EXPECT_TRUE(std::binary_search(frameOffsets.begin(), frameOffsets.end(), offset));
        const mp3::Stream stream = mp3::inspect(answer);
        EXPECT_EQ(stream.error, "");
        EXPECT_TRUE(stream.framesCoverInput());
    }

    // The statement of this recorded exam lists each answer with its real size.
    answerNext(MessageAnswer::No);
    click(ControlId::ShowStatement);
    QFile statement("out/report_eng_0123-001.htm");
    ASSERT_TRUE(statement.open(QIODevice::ReadOnly));
    const QByteArray html = statement.readAll();
    for (const QString& kim : kims) {
        const QString name = "0123-001-eng_" + kim + ".mp3";
        const std::uintmax_t size = fs::file_size(("out/" + name).toStdString());
        EXPECT_TRUE(html.contains(name.toLatin1())) << name.toStdString();
        EXPECT_TRUE(
            html.contains("<td> " + QByteArray::number(static_cast<qulonglong>(size)) + " "))
            << name.toStdString() << " " << size;
    }
}

// The window's thread stalls mid-answer, as under a hung display or a swapped-out window: the
// recording thread goes on recording both files and the window catches up afterwards.
TEST_F(AnswersOnSoundServerTest, AWindowThatStallsForEightSecondsCostsNoSound) {
    openServerWindow();
    const auto seconds = [](Clock::duration span) {
        return std::chrono::duration<double>(span).count();
    };
    const auto shownSeconds = [&](ControlId id) {
        const QStringList parts =
            dialog->control<QLineEdit>(id)->text().split(QRegularExpression("[:.]"));
        return parts.size() == 3
                   ? parts[0].toInt() * 3600 + parts[1].toInt() * 60 + parts[2].toInt()
                   : -1;
    };

    const auto examStarted = Clock::now();
    yes(ControlId::StartExam);
    enterKim("0000017");
    yes(ControlId::RecordAnswer);
    const auto answerStarted = Clock::now();
    QTest::qWait(3'000);
    QMetaObject::invokeMethod(
        &*dialog, [] { std::this_thread::sleep_for(8s); }, Qt::QueuedConnection);
    QTest::qWait(10);  // returns once the stall is over
    QTest::qWait(3'000);
    EXPECT_GE(shownSeconds(ControlId::TotalElapsed), seconds(Clock::now() - examStarted) - 2.5);
    EXPECT_GE(shownSeconds(ControlId::AnswerElapsed), seconds(Clock::now() - answerStarted) - 2.5);
    yes(ControlId::StopAnswer);
    const auto answerStopped = Clock::now();
    ASSERT_TRUE(waitForListen());
    click(ControlId::Listen);
    click(ControlId::SaveAnswer);
    yes(ControlId::EndExam);
    const auto examEnded = Clock::now();

    for (const MessageRequest& box : boxes) {
        EXPECT_FALSE(box.text.contains("потеряна")) << box.text.toStdString();
    }
    EXPECT_EQ(cards->devices().front()->overrunCount(), 0u);
    ASSERT_EQ(allFiles().size(), 1u);
    const mp3::Stream exam = mp3::inspectFile(allFiles().front());
    const mp3::Stream answer = mp3::inspectFile("out/0123-001-eng_0000017.mp3");
    const double examLength = static_cast<double>(exam.decodedSamples) / 44'100;
    const double answerLength = static_cast<double>(answer.decodedSamples) / 44'100;
    // The exam's file runs from the start to the end; the answer's from the block before the
    // record step to the block after the stop, so up to a block longer at each end.
    EXPECT_NEAR(examLength, seconds(examEnded - examStarted), 2.0);
    EXPECT_GE(answerLength, seconds(answerStopped - answerStarted) - 0.5);
    EXPECT_LE(answerLength, seconds(answerStopped - answerStarted) + 4.5);
}

}  // namespace
