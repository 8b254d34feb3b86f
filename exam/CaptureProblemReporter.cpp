#include "exam/CaptureProblemReporter.h"

#include <QString>

#include "exam/ExamWindowUpdates.h"

void CaptureProblemReporter::onOverrun(std::uint32_t) {
    window_.reportCaptureProblem(QStringLiteral(
        "Часть звука потеряна: компьютер не успел принять запись от звуковой карты. Запись "
        "продолжается, но в ней может быть пропуск."));
}

void CaptureProblemReporter::onDeviceLost() {
    window_.reportCaptureProblem(QStringLiteral(
        "Звуковая карта перестала записывать: запись экзамена прервана. Проверьте подключение "
        "звуковой карты и микрофона, затем закончите экзамен и начните его заново."));
}
