// The answer workflow in the main window: the KIM number typed twice and checked, then each
// answer's record, stop and save steps, with the answer file handed to the exam's sink.
#pragma once

#include <QString>

#include "exam/ExamClock.h"
#include "res/ControlIds.h"

class ExamRecorderDialog;
class WindowHandoff;
struct SessionCodes;

// "out/<site>-<classroom>-<subject>_<kim>.mp3"
QString answerFileNameOf(const SessionCodes& codes, const QString& kim);

// Lives in the window; the window and the handoff must outlive it. Every step runs on the
// window's thread, except onStopAnswer, which the exam's sink also runs on the recording thread.
class AnswerRecording {
public:
    AnswerRecording(ExamRecorderDialog& window, WindowHandoff& handoff, LocalClock clock);

    // Buttons 1020, 1021, 1006, 1007 and 1030.
    void onFirstKimOk();
    void onSecondKimOk();
    void onRecordAnswer();
    // Asks first unless the session's stopWithoutAsking is set. On another thread than the
    // window's it hands the window's changes over and waits for them.
    void onStopAnswer();
    // An answer whose file a write failed is told as not saved.
    void onSaveAnswer();

    // The KIM number and the file of the answer started last; window's thread only.
    const QString& lastKim() const { return lastKim_; }
    const QString& answerFileName() const { return answerFileName_; }

private:
    QString field(ControlId id) const;
    void tell(const QString& text, bool withIcon);
    bool confirmUnknownKim(const QString& kim);
    bool confirmRecording(const QString& kim, const QString& fileName);
    void showKimRow(bool repeat);
    void clearKimFields();
    void showStopped();

    ExamRecorderDialog& window_;
    WindowHandoff& handoff_;
    const LocalClock clock_;
    QString lastKim_;
    QString answerFileName_;
};
