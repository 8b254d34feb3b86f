#include "app/SignalWatch.h"

#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <utility>

#include "app/LevelMeterWidget.h"
#include "audio/AudioError.h"
#include "audio/CaptureDevice.h"
#include "audio/CaptureDeviceRegistry.h"
#include "audio/RecordingFormat.h"
#include "exam/ExamSessionState.h"
#include "platform/DiskSpace.h"
#include "session/OutFolder.h"

namespace {

constexpr int kRefreshMs = 100;
// A level older than this second is no longer shown.
constexpr int kRefreshesUntilStale = 10;
// Beside the template's controls, in pixels: under the sound-card list, inside its group, and
// under the total time field, inside the exam's group.
const QRect meterPlace(30, 119, 590, 12);
const QRect timeLeftPlace(529, 216, 220, 14);

}  // namespace

SignalWatch::SignalWatch(QWidget& window, ControlLookup control, ExamSessionState& session,
                         CaptureDeviceRegistry& registry, SignalServices services)
    : QObject(&window),
      window_(window),
      control_(std::move(control)),
      session_(session),
      registry_(registry),
      services_(std::move(services)),
      meter_(new LevelMeterWidget(&window)),
      timeLeft_(new QLabel(&window)),
      timer_(new QTimer(this)) {
    meter_->setObjectName(QStringLiteral("levelMeter"));
    meter_->setGeometry(meterPlace);
    timeLeft_->setObjectName(QStringLiteral("recordingTimeLeft"));
    timeLeft_->setGeometry(timeLeftPlace);
    timeLeft_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    timeLeft_->hide();
    connect(timer_, &QTimer::timeout, this, &SignalWatch::refresh);
    timer_->start(kRefreshMs);
}

void SignalWatch::handOver(CaptureDevice& device) {
    soundCheck_.stop();
    examDevice_ = &device;
}

void SignalWatch::refresh() {
    const bool examRunning = session_.examRunning.load(std::memory_order_acquire);
    if (examRunning != inExam_) {
        inExam_ = examRunning;
        if (inExam_) {
            enterExam();
        } else {
            leaveExam();
        }
    }
    if (!inExam_) {
        followSelection();
    }
    showLevel(inExam_ ? examDevice_ : soundCheck_.device());
    if (inExam_ && examDevice_ != nullptr) {
        checkSignal();
        showTimeLeft();
    }
}

void SignalWatch::enterExam() {
    alarm_.reset();
    timeLeftWarnings_.reset();
    timeLeft_->show();
}

void SignalWatch::leaveExam() {
    if (alarm_.raised()) {
        clearAlarm();
    }
    alarm_.reset();
    timeLeft_->hide();
    timeLeft_->clear();
    examDevice_ = nullptr;
}

void SignalWatch::followSelection() {
    if (!services_.soundCheck) {
        return;
    }
    CaptureDevice* selected = nullptr;
    const QList<QListWidgetItem*> items =
        qobject_cast<QListWidget*>(control_(ControlId::SoundCardList))->selectedItems();
    if (!items.isEmpty()) {
        try {
            selected = &registry_.findByName(items.front()->text().toStdString().c_str());
        } catch (const AudioError&) {
            selected = nullptr;
        }
    }
    soundCheck_.follow(selected);
}

void SignalWatch::showLevel(const CaptureDevice* source) {
    if (source != shownSource_) {
        shownSource_ = source;
        // Only what the new source publishes from now on is its level.
        shownSequence_ = source != nullptr ? source->level().read().sequence : 0;
        refreshesWithoutLevel_ = kRefreshesUntilStale;
    }
    if (source == nullptr) {
        meter_->showNothing();
        return;
    }
    const LevelMeter::Reading reading = source->level().read();
    if (reading.sequence != shownSequence_) {
        shownSequence_ = reading.sequence;
        refreshesWithoutLevel_ = 0;
        meter_->showLevel(reading.level);
    } else if (++refreshesWithoutLevel_ >= kRefreshesUntilStale) {
        meter_->showNothing();
    }
}

void SignalWatch::checkSignal() {
    if (!services_.noSignalAlarm) {
        return;
    }
    const LevelMeter::Reading reading = examDevice_->level().read();
    const auto quietSeconds =
        static_cast<std::int64_t>(reading.quietFrames / recording_format::kSampleRate);
    switch (alarm_.update(quietSeconds)) {
        case NoSignalAlarm::Change::None:
            return;
        case NoSignalAlarm::Change::Cleared:
            clearAlarm();
            return;
        case NoSignalAlarm::Change::Raised:
            break;
    }
    auto* status = qobject_cast<QLabel*>(control_(ControlId::StatusLine));
    if (alarmText_.isEmpty() || status->text() != alarmText_) {
        statusBeforeAlarm_ = status->text();
    }
    alarmText_ = QString::asprintf("Нет сигнала с микрофона %d с. Проверьте микрофон.",
                                   static_cast<int>(quietSeconds));
    status->setText(alarmText_);
    meter_->setAlarm(true);
    if (session_.answer.state() == AnswerState::Recording) {
        warn(noSignalBox_, QStringLiteral("noSignalWarning"), QStringLiteral("Нет сигнала"),
             alarmText_ + QStringLiteral("\n\nЗапись ответа продолжается."));
    }
}

void SignalWatch::clearAlarm() {
    meter_->setAlarm(false);
    auto* status = qobject_cast<QLabel*>(control_(ControlId::StatusLine));
    // Whatever the window has said since the alarm stays.
    if (!alarmText_.isEmpty() && status->text() == alarmText_) {
        status->setText(statusBeforeAlarm_);
    }
    alarmText_.clear();
}

void SignalWatch::showTimeLeft() {
    const std::uint64_t freeBytes = services_.freeBytes();
    const bool answerOpen = session_.answer.state() != AnswerState::Idle;
    const std::int64_t seconds = recordingSecondsLeft(freeBytes, answerOpen);
    const auto minutes = static_cast<int>(seconds / 60);
    timeLeft_->setText(
        QString::asprintf("Места на диске: %d ч %02d мин", minutes / 60, minutes % 60));
    if (timeLeftWarnings_.update(seconds) != TimeLeftWarnings::Warning::None) {
        warn(diskBox_, QStringLiteral("diskSpaceWarning"), QStringLiteral("Мало места на диске"),
             QString::asprintf("Места на диске осталось на %d мин записи. Освободите место на "
                               "диске, иначе запись прервётся.",
                               minutes));
    }
}

void SignalWatch::warn(QPointer<QMessageBox>& box, const QString& name, const QString& caption,
                       const QString& text) {
    if (!box) {
        box = new QMessageBox(QMessageBox::Warning, caption, text, QMessageBox::Ok, &window_);
        box->setObjectName(name);
        box->setTextFormat(Qt::PlainText);
        // Never modal, and never taking the keyboard from a KIM number being typed.
        box->setWindowModality(Qt::NonModal);
        box->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    box->setText(text);
    box->show();
}
