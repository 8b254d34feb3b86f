#include "exam/Mp3FileSink.h"

#include <algorithm>
#include <optional>
#include <span>
#include <utility>

#include "audio/RecordingFormat.h"
#include "exam/CaptureProblemReporter.h"
#include "exam/ExamJournal.h"
#include "exam/ExamSessionState.h"
#include "exam/RecordingEvents.h"

namespace {

// One 16-bit sample's worth per byte of PCM: far above the MP3 bytes of a block.
constexpr std::uint32_t kOutputArea = recording_format::kBlockBytes / 2;

}  // namespace

Mp3FileSink::Mp3FileSink(ExamSessionState& session, RecordingEvents& events, ExamJournal& journal,
                         std::int32_t maxAnswerSeconds, EncoderLibrary& library)
    : session_(session),
      events_(events),
      journal_(journal),
      maxAnswerSeconds_(maxAnswerSeconds),
      stream_(recording_format::kBitrateKbps, recording_format::kSampleRate,
              recording_format::kSampleRate, library),
      output_(std::max(kOutputArea, stream_.outputBufferSize())) {
    session_.gaps.restart();
}

void Mp3FileSink::onAudioData(const void* data, std::uint32_t byteCount) {
    const std::uint64_t frames = byteCount / recording_format::kCapture.nBlockAlign;
    watchForGaps(frames);
    std::uint32_t produced = 0;
    const std::uint32_t result =
        stream_.encode(static_cast<const short*>(data), byteCount / 2, output_.data(), &produced);
    if (result != 0 && !encoderFailureReported_) {
        encoderFailureReported_ = true;
        events_.captureProblem(
            QStringLiteral("Ошибка кодирования звука: часть записи экзамена потеряна."));
    }
    const std::span<const unsigned char> mp3(output_.data(), produced);
    // Spans are the sound itself: a clock set on or back mid-exam moves neither them nor the
    // limit.
    examFrames_ += frames;

    // Every block that arrives while the file is open belongs to the exam, those handed over by
    // the end's stop included: the end closes the file once the stop has returned.
    if (session_.allFile.write(mp3) == WriteResult::FirstFailure) {
        events_.writeFailed(session_.allFile.name());
    }

    std::optional<std::int64_t> examElapsed;
    if (session_.examRunning.load(std::memory_order_acquire)) {
        examElapsed = static_cast<std::int64_t>(examFrames_ / recording_format::kSampleRate);
        session_.examElapsed.store(*examElapsed);
    }

    CurrentAnswer& answer = session_.answer;
    std::optional<std::int64_t> answerElapsed;
    bool stoppedAtLimit = false;
    if (answer.state() != AnswerState::Idle) {
        if (answer.write(mp3) == WriteResult::FirstFailure) {
            events_.writeFailed(answer.fileName());
        }
        answerElapsed = answer.addRecorded(frames);
        if (maxAnswerSeconds_ > 0 && *answerElapsed > maxAnswerSeconds_ && answer.requestStop()) {
            session_.stopWithoutAsking.store(true);
            stoppedAtLimit = true;
        }
    }

    if (examElapsed || answerElapsed) {
        events_.elapsedChanged(examElapsed, answer.number(), answerElapsed);
    }
    if (stoppedAtLimit) {
        events_.answerStopped(answer.number());
    }
    if (answer.state() == AnswerState::StopRequested) {
        closeAnswer(session_, events_, journal_);
    }
    if (answer.state() == AnswerState::Idle) {
        lastAnswer_.reset();
    } else if (!lastAnswer_ || lastAnswer_->number != answer.number()) {
        lastAnswer_ =
            AnswerSeen{answer.number(), answer.kim(), QString::fromStdString(answer.fileName()), 0};
    }
    if (lastAnswer_) {
        lastAnswer_->elapsed = answer.elapsed();
    }
}

void Mp3FileSink::watchForGaps(std::uint64_t frames) {
    const std::optional<std::uint64_t> lost = session_.gaps.onBlock(frames);
    if (session_.gaps.inGap()) {
        if (!gapPlace_) {
            placeGapHere();
        }
        return;
    }
    if (lost) {
        events_.captureProblem(
            CaptureProblemReporter::lostAudioText(static_cast<std::uint32_t>(*lost)));
        journalLoss(*lost);
    }
    gapPlace_.reset();
}

void Mp3FileSink::onCaptureStarted(std::chrono::milliseconds firstSoundWithin) {
    session_.gaps.onCaptureStarted(firstSoundWithin);
}

void Mp3FileSink::finish() {
    // The loss box told of a card that went away; its length is for the journal's readers.
    if (const std::optional<std::uint64_t> lost = session_.gaps.onEnd()) {
        if (!gapPlace_) {
            placeGapHere();
        }
        journalLoss(*lost);
    }
    gapPlace_.reset();
}

void Mp3FileSink::placeGapHere() {
    gapPlace_ = placeNow();
    gapAnswer_ = session_.answer.number();
    if (lastAnswer_) {
        gapPlace_->kim = lastAnswer_->kim;
        gapPlace_->answerFile = lastAnswer_->file;
        gapPlace_->answerFrom = gapPlace_->answerTo = lastAnswer_->elapsed;
        gapAnswer_ = lastAnswer_->number;
    }
}

void Mp3FileSink::journalLoss(std::uint64_t lostFrames) {
    // The loss lies before the sound now, after the sound of the last block before it.
    exam_journal::LostAudioPlace place = *gapPlace_;
    place.allTo = placeNow().allFrom;
    // An answer closed meanwhile keeps its length until the next one opens.
    if (!place.kim.isEmpty() && session_.answer.number() == gapAnswer_) {
        place.answerTo = std::max(place.answerFrom, session_.answer.elapsed());
    }
    journal_.audioLost(lostFrames, place);
}

exam_journal::LostAudioPlace Mp3FileSink::placeNow() const {
    exam_journal::LostAudioPlace place;
    place.allFile = QString::fromStdString(session_.allFile.name());
    place.allFrom = static_cast<std::int64_t>(examFrames_ / recording_format::kSampleRate);
    place.allTo = place.allFrom;
    const CurrentAnswer& answer = session_.answer;
    if (answer.state() != AnswerState::Idle) {
        place.kim = answer.kim();
        place.answerFile = QString::fromStdString(answer.fileName());
        place.answerFrom = answer.elapsed();
        place.answerTo = place.answerFrom;
    }
    return place;
}

void closeAnswer(ExamSessionState& session, RecordingEvents& events, ExamJournal& journal) {
    CurrentAnswer& answer = session.answer;
    // Once Idle the answer is the window's again: take what is told before the close.
    const std::string fileName = answer.fileName();
    const QString kim = answer.kim();
    const std::uint64_t number = answer.number();
    if (answer.close() == WriteResult::FirstFailure) {
        events.writeFailed(fileName);
    }
    journal.answerStopped(kim, QString::fromStdString(fileName));
    events.answerClosed(number);
}
