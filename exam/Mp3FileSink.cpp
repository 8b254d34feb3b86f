#include "exam/Mp3FileSink.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "exam/ExamSessionState.h"
#include "exam/ExamWindowUpdates.h"

namespace {

// A full block of 2 s at 128 kbit/s makes about 32,000 bytes.
constexpr std::uint32_t kOutputArea = 176'400;

}  // namespace

Mp3FileSink::Mp3FileSink(ExamSessionState& session, ExamWindowUpdates& window, LocalClock clock,
                         std::int32_t maxAnswerSeconds, EncoderLibrary& library)
    : session_(session),
      window_(window),
      clock_(std::move(clock)),
      maxAnswerSeconds_(maxAnswerSeconds),
      stream_(128, 44'100, 44'100, library),
      output_(std::max(kOutputArea, stream_.outputBufferSize())) {}

void Mp3FileSink::onAudioData(const void* data, std::uint32_t byteCount) {
    std::uint32_t produced = 0;
    const std::uint32_t result =
        stream_.encode(static_cast<const short*>(data), byteCount / 2, output_.data(), &produced);
    if (result != 0 && !encoderFailureReported_) {
        encoderFailureReported_ = true;
        window_.reportCaptureProblem(
            QStringLiteral("Ошибка кодирования звука: часть записи экзамена потеряна."));
    }
    const std::span<const unsigned char> mp3(output_.data(), produced);

    std::optional<std::int64_t> blockTime;
    const auto now = [&] {
        if (!blockTime) {
            blockTime = wholeSeconds(clock_());
        }
        return *blockTime;
    };

    // Every block that arrives while the file is open belongs to the exam, those handed over by
    // the end's stop included: the end closes the file once the stop has returned.
    writeTo(session_.allFile, mp3);

    if (session_.examRunning.load(std::memory_order_acquire)) {
        const std::int64_t elapsed = now() - session_.examStart.load();
        session_.examElapsed.store(elapsed);
        window_.showExamElapsed(elapsed);
    }

    if (session_.answerState.load(std::memory_order_acquire) != AnswerState::Idle) {
        writeTo(session_.answerFile, mp3);
        const std::int64_t elapsed = now() - session_.answerStart.load();
        session_.answerElapsed.store(elapsed);
        if (maxAnswerSeconds_ > 0 && elapsed > maxAnswerSeconds_) {
            session_.stopWithoutAsking.store(true);
            window_.stopAnswerWithoutAsking();
        }
        window_.showAnswerElapsed(elapsed);
    }

    if (session_.answerState.load(std::memory_order_acquire) == AnswerState::StopRequested) {
        closeStoppedAnswer(session_, window_);
    }
}

void closeStoppedAnswer(ExamSessionState& session, ExamWindowUpdates& window) {
    const bool firstFailure = !session.answerFile.hasFailed();
    if (!session.answerFile.close() && firstFailure) {
        window.reportWriteFailure(QString::fromStdString(session.answerFile.name()));
    }
    session.answerState.store(AnswerState::Idle, std::memory_order_release);
    window.enableListen();
}

void Mp3FileSink::writeTo(RecordingFile& file, std::span<const unsigned char> bytes) {
    if (!file.isOpen()) {
        return;
    }
    const bool firstFailure = !file.hasFailed();
    if (!file.write(bytes) && firstFailure) {
        window_.reportWriteFailure(QString::fromStdString(file.name()));
    }
}
