#include "exam/CaptureProblemReporter.h"

#include <QLocale>
#include <algorithm>

#include "audio/CaptureDevice.h"
#include "audio/RecordingFormat.h"
#include "exam/ExamSessionState.h"
#include "exam/Mp3FileSink.h"
#include "exam/RecordingEvents.h"

QString CaptureProblemReporter::lostAudioText(std::uint32_t lostFrames) {
    // To a tenth of a second, and never as nothing: something was lost.
    const double seconds =
        std::max(0.1, static_cast<double>(lostFrames) / recording_format::kSampleRate);
    return QStringLiteral(
               "Часть звука потеряна: %1 с. Компьютер не успел принять запись от звуковой карты. "
               "Запись продолжается; если пропуск пришёлся на ответ участника, запишите этот "
               "ответ заново.")
        .arg(QLocale(QLocale::Russian).toString(seconds, 'f', 1));
}

void CaptureProblemReporter::onOverrun(std::uint32_t lostFrames) {
    // Told by the sink with the rest of its event, once the sound goes on whole.
    session_.gaps.onOverrun(lostFrames);
}

void CaptureProblemReporter::onDeviceLost() {
    const std::lock_guard lock(lossMutex_);
    session_.captureLost.store(true);
    CurrentAnswer& answer = session_.answer;
    // As the sink does at the maximum length, then on the block that will not come.
    if (answer.requestStop()) {
        session_.stopWithoutAsking.store(true);
        events_.answerStopped(answer.number());
    }
    if (answer.state() == AnswerState::StopRequested) {
        closeAnswer(session_, events_, journal_);
    }
    events_.captureProblem(QStringLiteral(
        "Звуковая карта перестала записывать: запись экзамена прервана. Проверьте подключение "
        "звуковой карты и микрофона: когда карта вернётся, запись экзамена продолжится сама."));
}

void CaptureProblemReporter::onCaptureBack(const CaptureDevice& device) {
    const std::lock_guard lock(lossMutex_);
    // The device marks itself lost before it tells: a loss not seen here is told after this.
    if (device.deviceLost()) {
        return;
    }
    session_.captureLost.store(false);
    events_.captureNotice(
        QStringLiteral("Звуковая карта снова записывает: запись экзамена продолжается."));
}
