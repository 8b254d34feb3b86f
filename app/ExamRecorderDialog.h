// The main window, in which the organiser runs the whole exam. It runs the start-up tests before
// it is shown, hands over to the session set-up on its first paint, and asks before it closes.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/SignalWatch.h"
#include "exam/ExamClock.h"
#include "exam/ExamSessionState.h"
#include "exam/ExamWindow.h"
#include "res/ControlIds.h"
#include "session/SessionCodes.h"

class AnswerRecording;
class CaptureDeviceRegistry;
class EncoderLibrary;
class ExamJournal;
class ExamRecording;
class ExamWindowUpdater;
class KeepAwake;
class Playback;
class PlaybackPlayer;
class StartupEnvironment;

// What the window takes from outside; tests put scripted ones in place.
struct WindowServices {
    // Each service left empty (null) is the system's own (withSystemServices).
    // The capture devices to list.
    CaptureDeviceRegistry* captureDevices = nullptr;
    // Runs the session set-up dialog over `owner` and returns the confirmed codes (the dialog
    // ends the process on every other way out).
    std::function<SessionCodes(QWidget* owner)> runSessionSetup = {};
    // The encoder library exams record with.
    EncoderLibrary* encoder = nullptr;
    // The local date and time.
    LocalClock clock = {};
    // Plays answers through the player library; null when there is none.
    PlaybackPlayer* libraryPlayer = nullptr;
    // Makes the fallback player for one playback.
    std::function<std::unique_ptr<PlaybackPlayer>(QObject* window)> makeFallbackPlayer = {};
    // The level meter's sound check and the free disk space it watches.
    SignalServices signal = {};
    // Keeps the machine awake while an exam records (keepSystemAwake).
    std::function<std::unique_ptr<KeepAwake>(const std::string& reason)> keepAwake = {};
    // The maximum answer length in seconds; empty for the one the settings file or the string
    // table gives (LongestAnswer.h).
    std::optional<std::int32_t> maxAnswerSeconds = {};
    // The settings file that may give it; empty for the system's own.
    std::optional<QString> settingsFile = {};
};

namespace Ui {
class ExamRecorderDialog;
}

class ExamRecorderDialog : public QDialog, public ExamWindow {
    Q_OBJECT
public:
    explicit ExamRecorderDialog(WindowServices services = {}, QWidget* parent = nullptr);
    ~ExamRecorderDialog() override;

    // Start-up tests and notice, before the window is shown. Returns only if start-up may go
    // on; every refusal ends the process with status 1.
    void runStartupSteps(StartupEnvironment& environment);

    using ExamWindow::control;
    QWidget* control(ControlId id) const override;
    QWidget* boxOwner() override { return this; }
    ExamSessionState& session() override { return session_; }
    const SessionCodes& sessionCodes() const override { return sessionCodes_; }
    std::int32_t maxAnswerSeconds() const override { return maxAnswerSeconds_; }

    AnswerRecording& answerRecording() { return *answerRecording_; }
    Playback& playback() { return *playback_; }

    // Turns the freshly shown window into one ready for an exam: KIM register, the out folder,
    // the session codes, the sound cards. Runs once, after the first paint. Ends the process or
    // the window's modal run (with -1, when there is no sound card) where it cannot go on.
    void establishSession();

    // "Закрыть программу?": Yes stops a running exam's recording, keeping what was captured, and
    // ends the process with status 1; No returns and changes nothing.
    void askToClose();

    // The "Выход" button and the dialog's own accept action both ask first.
    void accept() override;
    // Escape and every other way of cancelling the window do nothing.
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void collectControls();
    void routeCommands();
    void onCommand(ControlId id);
    void readMaxAnswerSeconds();
    void checkOutputFolder();
    // After a power cut or crash: names the answers the cut-off exam left to record again.
    void tellOfInterruptedExam();
    void showSession();
    void listSoundCards();
    void setReadyForExam();

    WindowServices services_;
    std::unique_ptr<Ui::ExamRecorderDialog> ui_;
    std::map<ControlId, QWidget*> controls_;
    bool firstPaintSeen_ = false;
    SessionCodes sessionCodes_;
    std::int32_t maxAnswerSeconds_ = 0;
    ExamSessionState session_;
    std::unique_ptr<ExamJournal> journal_;
    std::unique_ptr<AnswerRecording> answerRecording_;
    std::unique_ptr<ExamWindowUpdater> windowUpdater_;
    std::unique_ptr<Playback> playback_;
    // Declared last: it stops a running exam before the state it records into goes.
    std::unique_ptr<ExamRecording> examRecording_;
};
