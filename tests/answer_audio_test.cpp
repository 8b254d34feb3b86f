#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ExamTestAudio.h"
#include "RecorderTest.h"
#include "SoundServerCard.h"
#include "WindowSteps.h"
#include "app/ExamRecorderDialog.h"
#include "audio/CaptureDeviceRegistry.h"
#include "audio/PlayerLibrary.h"
#include "exam/PlaybackLibraryPlayer.h"
#include "platform/AlsaCaptureEndpoints.h"
#include "platform/AlsaMixer.h"
#include "platform/AlsaWaveIn.h"
#include "platform/SharedLibrary.h"
#include "session/KimRegister.h"
#include "support/AlsaCapture.h"
#include "support/Mp3Inspector.h"
#include "support/PulseAudioServer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using exam_test::contentsOf;
namespace fs = std::filesystem;

const SessionCodes codes{"0123", "001", "eng"};
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

class AnswersOnSoundServerTest : public RecorderTest {
public:
    void click(ControlId id) { ::click(*dialog, id); }
    void yesTo(ControlId id) {
        answerNext(MessageAnswer::Yes);
        click(id);
    }
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
    QString status() { return dialog->control<QLabel>(ControlId::StatusLine)->text(); }
    // Records an answer while the speech plays and stops it after about 3.5 s.
    void recordSpokenAnswer() {
        std::thread speaker([] {
            runProgram({"paplay",
                        std::string("--device=") + test_support::PulseAudioServer::kSinkName,
                        "speech.wav"});
        });
        yesTo(ControlId::RecordAnswer);
        QTest::qWait(3'500);
        yesTo(ControlId::StopAnswer);
        speaker.join();
    }

    std::optional<ExamRecorderDialog> dialog;
    std::optional<test_support::AlsaCapture> monitor;
    double lastPlaybackLevel = 0;
};

TEST_F(AnswersOnSoundServerTest, EachAnswerIsASliceOfTheExamAndIsHeardBeforeItIsSaved) {
    if (const auto reason = test_support::PulseAudioServer::unavailableReason()) {
        GTEST_SKIP() << *reason;
    }
    test_support::PulseAudioServer server;
    ASSERT_EQ(runProgram({"espeak-ng", "-v", "ru", "-w", "speech.wav", kSpeech}), 0);
    monitor.emplace("pulse");
    ASSERT_TRUE(monitor->waitUntilCaptured(Clock::now(), 10s)) << monitor->error();

    std::optional<AlsaWaveIn> alsa;
    if (const auto endpoint = soundServerEndpoint()) {
        alsa.emplace(std::vector{*endpoint});
    }
    ASSERT_TRUE(alsa) << "the sound server's source is not listed";
    AlsaMixer mixers(soundServerMixerName);
    CaptureDeviceRegistry registry(*alsa, mixers);
    PlayerLibrary library;
    ASSERT_TRUE(library.load(programFolder()));  // the test program sits with the libraries
    const bool playerReady = library.init(-1, 44100, 0, nullptr, nullptr) != 0 ||
                             library.errorGetCode() == BASS_ERROR_ALREADY;
    ASSERT_TRUE(playerReady) << library.errorGetCode();
    PlaybackLibraryPlayer player(library);

    WindowServices services{&registry, [](QWidget*) { return codes; }};
    services.libraryPlayer = &player;
    services.maxAnswerSeconds = 4;
    // The speech leaves silent stretches; the alarm would take the status line this test reads.
    services.signal.noSignalAlarm = false;
    dialog.emplace(std::move(services));
    dialog->establishSession();
    dialog->setBassAvailable(true);

    // The playback box stays open until its countdown closes it; the monitor hears meanwhile.
    std::map<QString, std::uintmax_t> sizeWhenStopAsked;
    const MessageHandler answers = setMessageHandler({});
    setMessageHandler([&](const MessageRequest& request) {
        if (request.caption == "Buf playback") {
            OpenBox box(request.caption);
            const auto opened = Clock::now();
            EXPECT_TRUE(QTest::qWaitFor([&] { return box.isClosed(); }, 20'000));
            monitor->waitUntilCaptured(Clock::now(), 10s);
            lastPlaybackLevel = monitor->rms(opened, Clock::now()).value_or(0);
        }
        return answers(request);
    });

    const std::vector<QString> kims = validKims(4);
    answerNext(MessageAnswer::Yes);
    click(ControlId::StartExam);
    ASSERT_EQ(status(), "Начали экзамен.");

    // Two participants, the second recorded twice.
    enterKim(*dialog, kims[0]);
    recordSpokenAnswer();
    ASSERT_TRUE(waitForListen());
    EXPECT_GT(listen(), 0.02);
    click(ControlId::SaveAnswer);

    enterKim(*dialog, kims[1]);
    recordSpokenAnswer();
    ASSERT_EQ(dialog->session().answerState, AnswerState::StopRequested);
    click(ControlId::RecordAnswer);
    EXPECT_EQ(boxes.back().text, "Дождитесь окончания записи и повторите");
    ASSERT_TRUE(waitForListen());
    recordSpokenAnswer();  // "перезаписать"
    EXPECT_EQ(boxes[boxes.size() - 2].caption, "Файл already exists");
    ASSERT_TRUE(waitForListen());
    EXPECT_GT(listen(), 0.02);
    click(ControlId::SaveAnswer);

    // Left alone, an answer stops by itself past the maximum of 4 s.
    enterKim(*dialog, kims[2]);
    const std::size_t asked = boxes.size();
    yesTo(ControlId::RecordAnswer);
    ASSERT_TRUE(waitForListen());
    EXPECT_EQ(boxes.size(), asked + 1) << "a question was asked";
    EXPECT_GE(dialog->session().answerElapsed, 5);
    EXPECT_LE(dialog->session().answerElapsed, 6);
    EXPECT_EQ(status(), "Запись остановлена. Последний номер КИМ: " + kims[2]);
    listen();
    click(ControlId::SaveAnswer);

    // The stop question still open when the maximum stops the answer: Yes changes nothing.
    enterKim(*dialog, kims[3]);
    yesTo(ControlId::RecordAnswer);
    const QString lastFile = QString("out/0123-001-eng_") + kims[3] + ".mp3";
    std::uintmax_t closedSize = 0;
    setMessageHandler([&, inner = setMessageHandler({})](const MessageRequest& request) {
        if (request.text == "Завершить запись?") {
            EXPECT_TRUE(waitForListen());
            closedSize = fs::file_size(lastFile.toStdString());
        }
        return inner(request);
    });
    yesTo(ControlId::StopAnswer);
    const QString stopped = status();
    EXPECT_EQ(dialog->session().answerState, AnswerState::Idle);
    EXPECT_TRUE(dialog->control(ControlId::Listen)->isEnabled());
    QTest::qWait(2'500);
    EXPECT_EQ(fs::file_size(lastFile.toStdString()), closedSize);
    EXPECT_EQ(status(), stopped);
    listen();
    click(ControlId::SaveAnswer);

    answerNext(MessageAnswer::Yes);
    click(ControlId::EndExam);
    ASSERT_EQ(status(), "Закончили экзамен.");

    std::optional<fs::path> allFile;
    for (const auto& entry : fs::directory_iterator("out")) {
        if (entry.path().filename().string().starts_with("ALL_")) {
            allFile = entry.path();
        }
    }
    ASSERT_TRUE(allFile);
    const std::vector<unsigned char> all = contentsOf(*allFile);
    const mp3::Stream exam = mp3::inspectFile(*allFile);
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

}  // namespace
