// The main window, in which the organiser runs the whole exam. It runs the start-up tests before
// it is shown, hands over to the session set-up on its first paint, and asks before it closes.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/SignalWatch.h"
#include "exam/ExamClock.h"
#include "exam/ExamSessionState.h"
#include "exam/ExamWindow.h"
#include "res/DialogTemplate.h"
#include "session/LongestAnswer.h"
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
class PollPace;
class StartupEnvironment;

// What the window takes from outside; tests put scripted ones in place.
struct WindowServices {
    // Each service left empty (null) is the system's own (withSystemServices).
    // The capture devices to list. Over the system's own the sound check is always on.
    CaptureDeviceRegistry* captureDevices = nullptr;
    // Runs the session set-up dialog over `owner` and returns the confirmed codes (the dialog
    // ends the process on every other way out).
    std::function<SessionCodes(QWidget* owner)> runSessionSetup = {};
    // The encoder library exams record with.
    EncoderLibrary* encoder = nullptr;
    // The local date and time.
    LocalClock clock = {};
    // Plays answers through the player library.
    PlaybackPlayer* libraryPlayer = nullptr;
    // Makes the fallback player for one playback.
    std::function<std::unique_ptr<PlaybackPlayer>(QObject* window)> makeFallbackPlayer = {};
    // The level meter's sound check and the free disk space it watches.
    SignalServices signal = {};
    // Keeps the machine awake while an exam records (keepSystemAwake).
    std::function<std::unique_ptr<KeepAwake>(const std::string& reason)> keepAwake = {};
    // The longest answer, read as the session is set up: the system's settings file's or the
    // string table's (LongestAnswer.h).
    std::function<LongestAnswer()> longestAnswer = {};
    // How often an exam looks for its lost card (ExamServices).
    std::function<std::unique_ptr<PollPace>()> resumePace = {};
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
    QWidget* control(ControlId id) const override { return controls_.find(id); }
    QWidget* boxOwner() override { return this; }
    ExamSessionState& session() override { return session_; }
    const SessionCodes& sessionCodes() const override { return sessionCodes_; }
    std::int32_t maxAnswerSeconds() const override { return maxAnswerSeconds_; }

    AnswerRecording& answerRecording() { return *answerRecording_; }
    Playback& playback() { return *playback_; }

    // Turns the freshly shown window into one ready for an exam (SessionEstablishment.h) and
    // shows the session. Runs once, after the first paint. Ends the process, or the window's
    // modal run with -1 when there is no sound card, where it cannot go on.
    void establishSession();

    // "Закрыть программу?": Yes stops a running exam's recording, keeping what was captured, and
    // ends the process with status 1; No returns and changes nothing.
    void askToClose();

    // The "Выход" button and the dialog's own accept action both ask first.
    void accept() override;
    // Escape and every other way of cancelling the window do nothing.
    void reject() override;

protected:
    // Lists the sound cards again as the organiser turns to the list (SoundCardList).
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void routeCommands();
    void onCommand(ControlId id);
    // After a power cut or crash: names the answers the cut-off exam left to record again.
    void tellOfInterruptedExam();
    void showSession();
    void listSoundCards(const std::vector<QString>& names);
    // While no exam runs: the cards the system has now, the choice kept on its card if it is
    // still there.
    void listSoundCardsAgain();
    void setReadyForExam();

    WindowServices services_;
    std::unique_ptr<Ui::ExamRecorderDialog> ui_;
    ControlMap<ControlId> controls_;
    bool firstPaintSeen_ = false;
    bool soundCardsListed_ = false;
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
