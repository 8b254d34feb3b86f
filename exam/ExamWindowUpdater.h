// The main window's side of the exam's window updates: each change is made on the window's
// thread while the recording thread waits; failures are told in a box without anyone waiting.
#pragma once

#include <functional>

#include "exam/ExamWindowUpdates.h"
#include "exam/WindowHandoff.h"
#include "res/ControlIds.h"

class QWidget;
struct ExamSessionState;

// The window and the session state must outlive it.
class ExamWindowUpdater : public ExamWindowUpdates {
public:
    using ControlLookup = std::function<QWidget*(ControlId)>;

    // `stopAnswer`: the answer's stop step, which makes its own window changes on the window's
    // thread.
    ExamWindowUpdater(QWidget& window, ControlLookup control, ExamSessionState& session,
                      std::function<void()> stopAnswer);

    void showExamElapsed(std::int64_t seconds) override;
    void showAnswerElapsed(std::int64_t seconds) override;
    void enableListen() override;
    void stopAnswerWithoutAsking() override;
    void reportWriteFailure(const QString& fileName) override;
    void reportCaptureProblem(const QString& text) override;

    // Turned away while the window's thread waits for the recording thread.
    WindowHandoff& handoff() { return handoff_; }

private:
    void tell(const QString& text);

    QWidget& window_;
    const ControlLookup control_;
    ExamSessionState& session_;
    const std::function<void()> stopAnswer_;
    WindowHandoff handoff_;
};
