#include "exam/ExamWindowUpdater.h"

#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <utility>

#include "base/MessageBox.h"
#include "exam/AnswerRecording.h"
#include "exam/AnswerRecordingTable.h"
#include "exam/ExamClock.h"
#include "exam/ExamSessionState.h"
#include "exam/ExamWindow.h"

ExamWindowUpdater::ExamWindowUpdater(ExamWindow& window, AnswerRecording& answers)
    : window_(window), answers_(answers) {}

template <typename Show>
void ExamWindowUpdater::post(Show show) {
    QMetaObject::invokeMethod(this, std::move(show), Qt::QueuedConnection);
}

// A report about an answer the organiser has since recorded again is old news.
bool ExamWindowUpdater::isCurrent(std::uint64_t answer) const {
    return answer == window_.session().answer.number();
}

void ExamWindowUpdater::elapsedChanged(std::optional<std::int64_t> examSeconds,
                                       std::uint64_t answer,
                                       std::optional<std::int64_t> answerSeconds) {
    post([this, examSeconds, answer, answerSeconds] {
        if (examSeconds) {
            window_.control<QLineEdit>(ControlId::TotalElapsed)->setText(elapsedText(*examSeconds));
        }
        if (answerSeconds && isCurrent(answer)) {
            const QString text = elapsedText(*answerSeconds);
            window_.control<QLineEdit>(ControlId::AnswerElapsed)->setText(text);
            window_.control<QLabel>(ControlId::AnswerState)
                ->setText(QStringLiteral("время записи: ") + text);
        }
    });
}

void ExamWindowUpdater::answerStopped(std::uint64_t answer) {
    post([this, answer] {
        if (isCurrent(answer)) {
            answers_.showStopped();
        }
    });
}

void ExamWindowUpdater::answerClosed(std::uint64_t answer) {
    post([this, answer] {
        // Only the answer that is still the last one, and closed, is there to be heard.
        if (isCurrent(answer) && window_.session().answer.state() == AnswerState::Idle) {
            applyAnswerControls(AnswerStep::FileClosed, window_);
        }
    });
}

void ExamWindowUpdater::writeFailed(const std::string& fileName) {
    tell(QString::asprintf(
        "Ошибка записи файла %s. Запись может быть неполной. Проверьте место на диске.",
        fileName.c_str()));
}

void ExamWindowUpdater::captureProblem(const QString& text) {
    tell(text);
}

void ExamWindowUpdater::captureNotice(const QString& text) {
    post([this, text] { window_.control<QLabel>(ControlId::StatusLine)->setText(text); });
}

void ExamWindowUpdater::tell(const QString& text) {
    post([this, text] {
        window_.control<QLabel>(ControlId::StatusLine)->setText(text);
        showMessage(window_.boxOwner(), text, QStringLiteral("Ошибка"), MessageIcon::Stop,
                    MessageButtons::Ok);
    });
}
