// What the recording thread changes in the window: the elapsed-time displays, the listen
// button, the answer's stop, and failures the organiser must hear of.
#pragma once

#include <QString>
#include <cstdint>

class ExamWindowUpdates {
public:
    // Each returns once the window shows the change (or has turned the change away while it
    // stops capture): the sink must see the window as its update left it.
    virtual void showExamElapsed(std::int64_t seconds) = 0;
    virtual void showAnswerElapsed(std::int64_t seconds) = 0;
    virtual void enableListen() = 0;
    // The answer's stop step, without its question: a Recording answer becomes StopRequested.
    virtual void stopAnswerWithoutAsking() = 0;

    // These return at once, without waiting for the window, so a full disk never holds up
    // capture.
    virtual void reportWriteFailure(const QString& fileName) = 0;
    virtual void reportCaptureProblem(const QString& text) = 0;

protected:
    ~ExamWindowUpdates() = default;
};
