// The answer workflow in the main window: the KIM number typed twice and checked, then each
// answer's record, stop and save steps, with the answer file handed to the exam's sink.
#pragma once

#include <QString>

#include "res/ControlIds.h"

class ExamJournal;
class ExamWindow;

// Lives in the window, which must outlive it, as must the journal. Window's thread only: the
// answer reaches the recording thread through the session's CurrentAnswer.
class AnswerRecording {
public:
    AnswerRecording(ExamWindow& window, ExamJournal& journal);

    // Buttons 1020, 1021, 1006, 1007 and 1030.
    void onFirstKimOk();
    void onSecondKimOk();
    void onRecordAnswer();
    // Asks first unless the session's stopWithoutAsking is set.
    void onStopAnswer();
    // An answer whose file a write failed is told as not saved.
    void onSaveAnswer();

    // What the stop step shows once the answer is stopped, whoever stopped it.
    void showStopped();

    // The KIM number of the answer started last.
    const QString& lastKim() const { return lastKim_; }

private:
    QString field(ControlId id) const;
    void tell(const QString& text, bool withIcon);
    bool confirmUnknownKim(const QString& kim);
    bool confirmRecording(const QString& kim, const QString& fileName);
    void showKimRow(bool repeat);
    void clearKimFields();

    ExamWindow& window_;
    ExamJournal& journal_;
    QString lastKim_;
};
