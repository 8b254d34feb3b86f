#include <gmock/gmock.h>

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "WindowFixture.h"
#include "app/LevelMeterWidget.h"
#include "app/SignalWatch.h"

namespace {

using ::testing::StartsWith;

constexpr std::uint64_t kBytesPerMinute = 60 * 16'000;

std::vector<std::byte> silence(std::size_t frames) {
    return std::vector<std::byte>(frames * exam_test::kBytesPerFrame);
}

// The main window over a scripted sound card, with an exam started.
class SignalWatchTest : public ScriptedCardTest {
protected:
    void startExam(SignalServices signal = {}) {
        WindowServices services;
        services.signal = std::move(signal);
        window(0, nullptr, std::move(services));
        yes(ControlId::StartExam);
        ASSERT_TRUE(dialog->session().examRunning);
    }
    // Hands `bytes` to the card as recorded sound, then lets the window look at the level.
    void capture(std::span<const std::byte> bytes) {
        ScriptedCardTest::capture(bytes);
        dialog->findChild<SignalWatch*>()->refresh();
    }
    std::string status() const { return text(ControlId::StatusLine).toStdString(); }
    // The warning box `name` if it is on screen.
    QMessageBox* warning(const char* name) const {
        auto* box = dialog->findChild<QMessageBox*>(name);
        return box != nullptr && box->isVisible() ? box : nullptr;
    }
};

TEST_F(SignalWatchTest, SilenceRaisesTheAlarmAtTenSecondsAgainEveryThirtyAndTheSignalClearsIt) {
    startExam();
    const auto* meter = dialog->findChild<LevelMeterWidget*>();
    ASSERT_NE(meter, nullptr);
    const std::string started = status();

    capture(silence(44'100 * 99 / 10));
    EXPECT_EQ(status(), started);
    EXPECT_FALSE(meter->alarmShown());
    capture(silence(4410));
    EXPECT_EQ(status(), "Нет сигнала с микрофона 10 с. Проверьте микрофон.");
    EXPECT_TRUE(meter->alarmShown());
    EXPECT_EQ(warning("noSignalWarning"), nullptr) << "no answer is being recorded";

    ASSERT_TRUE(dialog->session().answer.open("out/answer.mp3", "0000017"));
    capture(silence(44'100 * 299 / 10));
    EXPECT_EQ(status(), "Нет сигнала с микрофона 10 с. Проверьте микрофон.");
    capture(silence(4410));
    EXPECT_EQ(status(), "Нет сигнала с микрофона 40 с. Проверьте микрофон.");
    const QMessageBox* box = warning("noSignalWarning");
    ASSERT_NE(box, nullptr);
    EXPECT_THAT(box->text().toStdString(),
                StartsWith("Нет сигнала с микрофона 40 с. Проверьте микрофон."));
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_EQ(dialog->session().answer.state(), AnswerState::Recording);
    EXPECT_EQ(boxes.size(), 1u) << "only the start question may have waited for the organiser";

    capture(exam_test::tone(4410));
    EXPECT_EQ(status(), started);
    EXPECT_FALSE(meter->alarmShown());
    EXPECT_EQ(dialog->session().answer.state(), AnswerState::Recording);
}

TEST_F(SignalWatchTest, TimeLeftCountsTheAnswerFileWhileOneIsOpenAndWarnsOnceBelowThirtyAndFive) {
    std::uint64_t freeBytes = 120 * kBytesPerMinute;
    startExam({false, [&] { return freeBytes; }});
    auto* watch = dialog->findChild<SignalWatch*>();
    const auto* timeLeft = dialog->findChild<QLabel*>("recordingTimeLeft");
    ASSERT_NE(timeLeft, nullptr);
    watch->refresh();
    EXPECT_TRUE(timeLeft->isVisibleTo(&*dialog));
    EXPECT_EQ(timeLeft->text().toStdString(), "Места на диске: 2 ч 00 мин");

    ASSERT_TRUE(dialog->session().answer.open("out/answer.mp3", "0000017"));
    watch->refresh();
    EXPECT_EQ(timeLeft->text().toStdString(), "Места на диске: 1 ч 00 мин");
    EXPECT_EQ(warning("diskSpaceWarning"), nullptr);

    freeBytes = 2 * 29 * kBytesPerMinute + 1;
    watch->refresh();
    EXPECT_EQ(timeLeft->text().toStdString(), "Места на диске: 0 ч 29 мин");
    QMessageBox* box = warning("diskSpaceWarning");
    ASSERT_NE(box, nullptr);
    EXPECT_THAT(box->text().toStdString(), StartsWith("Места на диске осталось на 29 мин записи."));
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    box->close();
    watch->refresh();
    EXPECT_EQ(warning("diskSpaceWarning"), nullptr) << "warned below 30 minutes twice";

    freeBytes = 2 * 4 * kBytesPerMinute;
    watch->refresh();
    box = warning("diskSpaceWarning");
    ASSERT_NE(box, nullptr);
    EXPECT_THAT(box->text().toStdString(), StartsWith("Места на диске осталось на 4 мин записи."));
    box->close();
    watch->refresh();
    EXPECT_EQ(warning("diskSpaceWarning"), nullptr) << "warned below 5 minutes twice";
    EXPECT_EQ(boxes.size(), 1u);
}

}  // namespace
