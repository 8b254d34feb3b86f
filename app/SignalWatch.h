// Shows the organiser the state of the signal in the main window: the live input level, a sound
// check of the selected card before the exam, the no-signal alarm and the recording time left.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>

#include "exam/NoSignalAlarm.h"
#include "exam/RecordingTimeLeft.h"
#include "exam/SoundCheck.h"
#include "res/ControlIds.h"

class CaptureDevice;
class CaptureDeviceRegistry;
class LevelMeterWidget;
class QLabel;
class QMessageBox;
class QTimer;
class QWidget;
struct ExamSessionState;

struct SignalServices {
    // Whether the selected card is monitored while no exam runs; tests that script the card's
    // every call leave it off.
    bool soundCheck = false;
    // The bytes the recordings may still write (the volume of the out folder, for the program).
    std::function<std::uint64_t()> freeBytes;
    // Whether long silence during an exam is told on the status line; tests that check the
    // status line's every text through silent stretches turn it off.
    bool noSignalAlarm = true;
};

// A child of the window, which must outlive the session state and the registry it is given.
// Everything it shows is beside the window's own controls and changes none of their states but
// the status line's text, which it puts back when the alarm ends.
class SignalWatch : public QObject {
    Q_OBJECT
public:
    using ControlLookup = std::function<QWidget*(ControlId)>;

    // `services.freeBytes` must be set.
    SignalWatch(QWidget& window, ControlLookup control, ExamSessionState& session,
                CaptureDeviceRegistry& registry, SignalServices services);

    // Called right before the exam's capture opens `device`: the sound check lets go of its
    // card first, as a sound card taken for monitoring cannot be opened twice.
    void handOver(CaptureDevice& device);
    // What the window's timer runs ten times a second.
    void refresh();

private:
    void enterExam();
    void leaveExam();
    void followSelection();
    void showLevel(const CaptureDevice* source);
    void checkSignal();
    void showTimeLeft();
    void clearAlarm();
    // A box that does not wait for an answer: made once, then updated and shown again.
    void warn(QPointer<QMessageBox>& box, const QString& name, const QString& caption,
              const QString& text);

    QWidget& window_;
    const ControlLookup control_;
    ExamSessionState& session_;
    CaptureDeviceRegistry& registry_;
    const SignalServices services_;
    LevelMeterWidget* meter_;
    QLabel* timeLeft_;
    QTimer* timer_;
    SoundCheck soundCheck_;
    NoSignalAlarm alarm_;
    TimeLeftWarnings timeLeftWarnings_;

    bool inExam_ = false;
    CaptureDevice* examDevice_ = nullptr;  // the card of the last exam start
    const CaptureDevice* shownSource_ = nullptr;
    std::uint32_t shownSequence_ = 0;
    int refreshesWithoutLevel_ = 0;
    QString statusBeforeAlarm_;
    QString alarmText_;
    QPointer<QMessageBox> noSignalBox_;
    QPointer<QMessageBox> diskBox_;
};
