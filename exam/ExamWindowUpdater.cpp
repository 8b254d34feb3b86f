#include "exam/ExamWindowUpdater.h"

#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QWidget>
#include <utility>

#include "exam/AnswerRecordingTable.h"
#include "exam/ExamClock.h"
#include "exam/ExamSessionState.h"
#include "platform/MessageBox.h"

ExamWindowUpdater::ExamWindowUpdater(QWidget& window, ControlLookup control,
                                     ExamSessionState& session, std::function<void()> stopAnswer)
    : window_(window),
      control_(std::move(control)),
      session_(session),
      stopAnswer_(std::move(stopAnswer)),
      handoff_(window) {}

void ExamWindowUpdater::showExamElapsed(std::int64_t seconds) {
    handoff_.run([&] {
        qobject_cast<QLineEdit*>(control_(ControlId::TotalElapsed))->setText(elapsedText(seconds));
    });
}

void ExamWindowUpdater::showAnswerElapsed(std::int64_t seconds) {
    handoff_.run([&] {
        const QString text = elapsedText(seconds);
        qobject_cast<QLineEdit*>(control_(ControlId::AnswerElapsed))->setText(text);
        qobject_cast<QLabel*>(control_(ControlId::AnswerState))
            ->setText(QStringLiteral("время записи: ") + text);
    });
}

void ExamWindowUpdater::enableListen() {
    handoff_.run([&] {
        // A new answer may have been started since the file was closed: not this one to hear.
        if (session_.answerState.load(std::memory_order_acquire) == AnswerState::Idle) {
            applyAnswerControls(AnswerStep::FileClosed, control_);
        }
    });
}

void ExamWindowUpdater::stopAnswerWithoutAsking() {
    stopAnswer_();
}

void ExamWindowUpdater::reportWriteFailure(const QString& fileName) {
    tell(QString::asprintf(
        "Ошибка записи файла %s. Запись может быть неполной. Проверьте место на диске.",
        fileName.toUtf8().constData()));
}

void ExamWindowUpdater::reportCaptureProblem(const QString& text) {
    tell(text);
}

void ExamWindowUpdater::tell(const QString& text) {
    QWidget* window = &window_;
    auto* status = qobject_cast<QLabel*>(control_(ControlId::StatusLine));
    QMetaObject::invokeMethod(
        window,
        [window, status, text] {
            status->setText(text);
            showMessage(window, text, QStringLiteral("Ошибка"), MessageIcon::Stop,
                        MessageButtons::Ok);
        },
        Qt::QueuedConnection);
}
