#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "WindowFixture.h"

namespace {

// Lets one device be open at a time and refuses a second open, as a raw hardware device does
// (the sound server itself would take both).
class ExclusiveWaveIn : public WaveInApi {
public:
    explicit ExclusiveWaveIn(WaveInApi& inner) : inner_(inner) {}

    std::uint32_t deviceCount() override { return inner_.deviceCount(); }
    WaveResult deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) override {
        return inner_.deviceCaps(deviceId, caps);
    }
    WaveResult open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                    std::unique_ptr<WaveIn>& handle) override {
        if (open_) {
            ++refused_;
            return WaveResult::Error;
        }
        std::unique_ptr<WaveIn> inner;
        const WaveResult result = inner_.open(deviceId, format, queue, inner);
        if (result == WaveResult::Ok) {
            open_ = true;
            handle = std::make_unique<Held>(std::move(inner), open_);
        }
        return result;
    }

    bool isOpen() const { return open_; }
    int refused() const { return refused_; }

private:
    class Held : public WaveIn {
    public:
        Held(std::unique_ptr<WaveIn> inner, std::atomic<bool>& open)
            : inner_(std::move(inner)), open_(open) {}
        ~Held() override { open_ = false; }
        WaveResult prepareHeader(WaveHeader& header) override {
            return inner_->prepareHeader(header);
        }
        WaveResult unprepareHeader(WaveHeader& header) override {
            return inner_->unprepareHeader(header);
        }
        WaveResult addBuffer(WaveHeader& header) override { return inner_->addBuffer(header); }
        WaveResult start() override { return inner_->start(); }
        WaveResult reset() override { return inner_->reset(); }
        WaveResult close() override {
            const WaveResult result = inner_->close();
            open_ = open_ && result != WaveResult::Ok;
            return result;
        }
        void publishLevelsTo(LevelListener* meter) override { inner_->publishLevelsTo(meter); }

    private:
        std::unique_ptr<WaveIn> inner_;
        std::atomic<bool>& open_;
    };

    WaveInApi& inner_;
    std::atomic<bool> open_{false};
    std::atomic<int> refused_{0};
};

class SoundCheckOnSoundServerTest : public SoundServerWindowTest {
protected:
    std::optional<ExclusiveWaveIn> card;
};

TEST_F(SoundCheckOnSoundServerTest, MonitorHandsTheCardToEveryExamStartAndTakesItBackAfter) {
    card.emplace(*alsa);
    // A second a look, so every exam gets an ALL file of its own.
    std::int64_t seconds = QDateTime(QDate(2014, 5, 14), QTime(9, 0)).toSecsSinceEpoch();
    WindowServices services;
    services.clock = [&] { return QDateTime::fromSecsSinceEpoch(++seconds); };
    services.signal.soundCheck = true;
    openServerWindow(std::move(services), &*card);
    const CaptureDevice& device = *cards->devices().front();

    constexpr int kCycles = 50;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        // The level is reset as the card opens: what it counts now the sound check has read.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return card->isOpen() && device.level().read().frames > 0; }, 10'000))
            << "the sound check did not take the card back";
        yes(ControlId::StartExam);
        ASSERT_TRUE(dialog->session().examRunning) << boxes.back().text.toStdString();
        EXPECT_EQ(text(ControlId::StatusLine), "Начали экзамен.");
        yes(ControlId::EndExam);
        ASSERT_FALSE(dialog->session().examRunning);
    }
    EXPECT_EQ(card->refused(), 0);
    EXPECT_EQ(boxes.size(), 2u * kCycles) << "a box other than the two questions";
}

}  // namespace
