// Shows in the main window what the recording thread reports: each report is posted to the
// window's thread and shown there in turn, so the recording thread never waits for the window.
#pragma once

#include <QObject>

#include "exam/RecordingEvents.h"

class AnswerRecording;
class ExamWindow;

// Lives on the window's thread; the window and the answer steps must outlive it. Reports still
// waiting when it goes are dropped.
class ExamWindowUpdater : public QObject, public RecordingEvents {
public:
    ExamWindowUpdater(ExamWindow& window, AnswerRecording& answers);

    void elapsedChanged(std::optional<std::int64_t> examSeconds, std::uint64_t answer,
                        std::optional<std::int64_t> answerSeconds) override;
    void answerStopped(std::uint64_t answer) override;
    void answerClosed(std::uint64_t answer) override;
    void writeFailed(const std::string& fileName) override;
    void captureProblem(const QString& text) override;
    void captureNotice(const QString& text) override;

private:
    template <typename Show>
    void post(Show show);
    bool isCurrent(std::uint64_t answer) const;
    void tell(const QString& text);

    ExamWindow& window_;
    AnswerRecording& answers_;
};
