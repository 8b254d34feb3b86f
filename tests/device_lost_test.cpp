// The sound card lost in the middle of an answer, on real capture through ALSA's PulseAudio
// plugin. EXAM_DEVICE_LOST_SECONDS (whole blocks the answer records before the loss) and
// EXAM_DEVICE_LOST_OFFSET_MS (how far into the next block it comes) make the longer runs of
// tests/soak/device-lost.sh.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "SoakSettings.h"
#include "Watchdog.h"
#include "WindowFixture.h"
#include "support/ChildProcess.h"
#include "support/Mp3Inspector.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test_support::PulseAudioServer;
using test_support::runProgram;
namespace fs = std::filesystem;

constexpr const char* kAnswerFile = "out/0123-001-eng_0000017.mp3";
constexpr double kRate = 44'100;
// What the encoder keeps back or puts in front: one frame, and its delay.
constexpr double kEncoderSlack = 1152 + 576 + 529;
const QString kLost = QStringLiteral(
    "Звуковая карта перестала записывать: запись экзамена прервана. Проверьте подключение "
    "звуковой карты и микрофона: когда карта вернётся, запись экзамена продолжится сама.");
const QString kBack =
    QStringLiteral("Звуковая карта снова записывает: запись экзамена продолжается.");

struct Loss {
    const char* name;
    void (*lose)(PulseAudioServer&);
    void (*bringBack)(PulseAudioServer&);
    bool endWhileAway;  // the exam ends while the card is away, and the next one records
};

void PrintTo(const Loss& loss, std::ostream* out) {
    *out << loss.name;
}

class DeviceLostTest : public SoundServerWindowTest, public ::testing::WithParamInterface<Loss> {
protected:
    void SetUp() override {
        SoundServerWindowTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            openServerWindow();
        }
    }

    void endExam() {
        const HangGuard guard("the exam's end", 30s);
        yes(ControlId::EndExam);
    }
    QString status() const { return text(ControlId::StatusLine); }
    // Waits for the exam (or the answer) to have recorded `seconds`, as the sink counts it.
    bool recorded(const std::function<std::int64_t()>& elapsed, std::int64_t seconds) {
        return QTest::qWaitFor([&] { return elapsed() >= seconds; },
                               static_cast<int>(seconds + 15) * 1000);
    }
    static fs::path newestAllFile() {
        const std::vector<std::string> files = allFiles();
        return files.empty() ? fs::path() : fs::path(files.back());
    }
};

TEST_P(DeviceLostTest, TheOrganiserIsToldTheWindowGoesOnAndTheCardRecordsAgainOnceBack) {
    const std::int64_t seconds = std::max(2, soakSetting("EXAM_DEVICE_LOST_SECONDS", 2));
    // How far into the next block the loss comes.
    const int offsetMs = soakSetting("EXAM_DEVICE_LOST_OFFSET_MS", 1000);
    yes(ControlId::StartExam);
    ASSERT_EQ(status(), "Начали экзамен.");
    const fs::path firstAll = newestAllFile();
    enterKim("0000017");
    yes(ControlId::RecordAnswer);
    ASSERT_TRUE(recorded([&] { return dialog->session().answer.elapsed(); }, seconds));
    const std::uintmax_t beforeLoss = fs::file_size(kAnswerFile);
    QTest::qWait(offsetMs);

    GetParam().lose(*server);
    ASSERT_TRUE(QTest::qWaitFor([&] { return told(kLost) > 0; }, 15'000));
    EXPECT_EQ(status(), kLost);
    // The loss closed the answer with everything that came before it.
    EXPECT_EQ(dialog->session().answer.state(), AnswerState::Idle);
    EXPECT_FALSE(shown(ControlId::RecordIndicator));
    if (offsetMs >= 500) {
        EXPECT_GT(fs::file_size(kAnswerFile), beforeLoss) << "the block in hand was dropped";
    }

    ASSERT_TRUE(dialog->control(ControlId::Listen)->isEnabled());
    click(ControlId::Listen);
    EXPECT_EQ(players, (std::vector<std::string>{std::string("library plays ") + kAnswerFile,
                                                 "library stops"}));
    ASSERT_TRUE(dialog->control(ControlId::SaveAnswer)->isEnabled());
    const std::size_t asked = boxes.size();
    click(ControlId::SaveAnswer);
    EXPECT_EQ(boxes.size(), asked);
    ASSERT_TRUE(dialog->control(ControlId::EndExam)->isEnabled());
    // The card back 4 s after the loss; an exam still running records on into its ALL file.
    QTest::qWait(4'000);
    if (GetParam().endWhileAway) {
        endExam();
        EXPECT_EQ(status(), "Закончили экзамен.");
        EXPECT_FALSE(dialog->session().allFile.isOpen());
    }
    GetParam().bringBack(*server);
    std::atomic<bool> spoken{false};
    std::thread speaker([&spoken] {
        runProgram({"espeak-ng", "-v", "ru", "-w", "speech.wav", "Раз, два, три."});
        while (!spoken) {
            runProgram(
                {"paplay", std::string("--device=") + PulseAudioServer::kSinkName, "speech.wav"});
        }
    });
    const Clock::time_point back = Clock::now();
    if (GetParam().endWhileAway) {
        awake.emplace("pulse");
        ASSERT_TRUE(awake->waitUntilCaptured(Clock::now(), 10s)) << awake->error();
        yes(ControlId::StartExam);
    } else {
        ASSERT_TRUE(QTest::qWaitFor([&] { return status() == kBack; }, 15'000));
        std::cout << "recording again "
                  << std::chrono::duration<double>(Clock::now() - back).count()
                  << " s after the card's return\n";
    }
    enterKim("0000024");
    yes(ControlId::RecordAnswer);
    ASSERT_TRUE(recorded([&] { return dialog->session().answer.elapsed(); }, 4));
    yes(ControlId::StopAnswer);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dialog->control(ControlId::Listen)->isEnabled(); }, 10'000));
    spoken = true;
    speaker.join();
    click(ControlId::Listen);
    click(ControlId::SaveAnswer);
    endExam();
    EXPECT_EQ(told(kLost), 1);
    // The time away told once as lost sound, and journaled.
    QFile journalFile("out/.exam-journal");
    ASSERT_TRUE(journalFile.open(QIODevice::ReadOnly));
    const QString journal = QString::fromUtf8(journalFile.readAll());
    EXPECT_EQ(std::ranges::count_if(boxes,
                                    [](const MessageRequest& box) {
                                        return box.text.startsWith("Часть звука потеряна");
                                    }),
              GetParam().endWhileAway ? 0 : 1);
    // In the answer the loss closed; away until the end, the time away is journaled all the same.
    const QRegularExpression lost("\tпотеряна часть звука\t[^\n]*\tКИМ 0000017\t[^\n]*\n");
    EXPECT_EQ(journal.count(lost), 1) << journal.toStdString();
    const std::vector<std::string> files = allFiles();
    ASSERT_EQ(files.size(), GetParam().endWhileAway ? 2u : 1u);
    ASSERT_EQ(fs::path(files.front()), firstAll);
    const mp3::Stream again = mp3::inspectFile(files.back());
    EXPECT_EQ(again.error, "");
    EXPECT_TRUE(again.framesCoverInput());
    EXPECT_GE(static_cast<double>(again.decodedSamples), 4 * kRate - kEncoderSlack);
    // Both files decode cleanly, and the answer is a stretch of the first ALL file: each took
    // every block up to the loss.
    const std::vector<unsigned char> all = exam_test::contentsOf(firstAll);
    const std::vector<unsigned char> answer = exam_test::contentsOf(kAnswerFile);
    for (const fs::path& file : {firstAll, fs::path(kAnswerFile)}) {
        SCOPED_TRACE(file);
        const mp3::Stream stream = mp3::inspectFile(file);
        EXPECT_EQ(stream.error, "");
        EXPECT_TRUE(stream.framesCoverInput());
        EXPECT_GE(static_cast<double>(stream.decodedSamples),
                  static_cast<double>(seconds) * kRate - kEncoderSlack);
    }
    EXPECT_NE(std::ranges::search(all, answer).begin(), all.end());

    const mp3::Stream after = mp3::inspectFile("out/0123-001-eng_0000024.mp3");
    const auto loudest =
        std::ranges::max(after.pcm, {}, [](std::int16_t v) { return std::abs(v); });
    EXPECT_GT(std::abs(loudest), 3000) << "no speech in the answer after the return";
}

INSTANTIATE_TEST_SUITE_P(
    Losses, DeviceLostTest,
    ::testing::Values(Loss{"NullSinkUnloadedAndBackMidExam",
                           [](PulseAudioServer& s) { s.unloadNullSink(); },
                           [](PulseAudioServer& s) { s.loadNullSink(); }, false},
                      Loss{"ServerKilledAndBackAfterTheExam", [](PulseAudioServer& s) { s.kill(); },
                           [](PulseAudioServer& s) { s.restart(); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
