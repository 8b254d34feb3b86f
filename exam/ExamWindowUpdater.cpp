#include "exam/ExamWindowUpdater.h"

#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QWidget>
#include <utility>

#include "exam/ExamClock.h"
#include "exam/ExamSessionState.h"
#include "platform/MessageBox.h"

ExamWindowUpdater::ExamWindowUpdater(QWidget& window, ControlLookup control,
                                     ExamSessionState& session)
    : window_(window), control_(std::move(control)), session_(session), handoff_(window) {}

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
    handoff_.run([&] { control_(ControlId::Listen)->setEnabled(true); });
}

void ExamWindowUpdater::stopAnswerWithoutAsking() {
    // Until the answer's own steps are in the window, its stop amounts to the state change.
    handoff_.run([&] {
        AnswerState recording = AnswerState::Recording;
        session_.answerState.compare_exchange_strong(recording, AnswerState::StopRequested);
    });
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
