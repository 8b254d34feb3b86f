#include "exam/CaptureProblemReporter.h"

#include <QString>

#include "exam/ExamSessionState.h"
#include "exam/ExamWindowUpdates.h"
#include "exam/Mp3FileSink.h"

void CaptureProblemReporter::onOverrun(std::uint32_t) {
    window_.reportCaptureProblem(QStringLiteral(
        "Часть звука потеряна: компьютер не успел принять запись от звуковой карты. Запись "
        "продолжается, но в ней может быть пропуск."));
}

void CaptureProblemReporter::onDeviceLost() {
    session_.captureLost.store(true);
    // As the sink does at the maximum length, then on the block that will not come.
    if (session_.answerState.load(std::memory_order_acquire) == AnswerState::Recording) {
        session_.stopWithoutAsking.store(true);
        window_.stopAnswerWithoutAsking();
    }
    if (session_.answerState.load(std::memory_order_acquire) == AnswerState::StopRequested) {
        closeStoppedAnswer(session_, window_);
    }
    window_.reportCaptureProblem(QStringLiteral(
        "Звуковая карта перестала записывать: запись экзамена прервана. Проверьте подключение "
        "звуковой карты и микрофона, затем закончите экзамен и начните его заново."));
}
