// The exam's audio sink: encodes each block once into the ALL file and, while an answer is open,
// the answer file; keeps the elapsed times, counted in the sound recorded, and stops an answer
// at the maximum length.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "audio/AudioSink.h"
#include "audio/Mp3Stream.h"
#include "exam/ExamJournal.h"

class EncoderLibrary;
class RecordingEvents;
struct ExamSessionState;

// Closes the session's answer (StopRequested, or still Recording when nothing else will), notes
// it in the journal and tells the window its file is closed. On the thread that holds the
// answer (CurrentAnswer.h).
void closeAnswer(ExamSessionState& session, RecordingEvents& events, ExamJournal& journal);

// One per exam, never reused. The session state, the events and the journal must outlive it; it
// must live
// until the capture device's stop() has returned. It holds no files: it writes those of the
// session state. It never waits for the window. It restarts the session's gap watch, feeds it
// each block and tells each loss it finds once, when the sound goes on whole.
class Mp3FileSink final : public AudioSink {
public:
    // Throws what Mp3Stream throws.
    Mp3FileSink(ExamSessionState& session, RecordingEvents& events, ExamJournal& journal,
                std::int32_t maxAnswerSeconds, EncoderLibrary& library);

    void onAudioData(const void* data, std::uint32_t byteCount) override;
    void onCaptureStarted(std::chrono::milliseconds firstSoundWithin) override;
    // Once capture has stopped for good, before the answer and the ALL file close: journals the
    // sound lost since the last block (a card that never came back) or a loss not yet told.
    void finish();

private:
    // Before the block of `frames`: tells the loss that block ends, or notes where one begins.
    void watchForGaps(std::uint64_t frames);
    // Where a loss found now begins: after the last block, in the answer that block went into.
    void placeGapHere();
    // Of the loss placed, which ends before the sound now.
    void journalLoss(std::uint64_t lostFrames);
    exam_journal::LostAudioPlace placeNow() const;

    ExamSessionState& session_;
    RecordingEvents& events_;
    ExamJournal& journal_;
    const std::int32_t maxAnswerSeconds_;
    Mp3Stream stream_;
    std::vector<unsigned char> output_;  // sized once: nothing is allocated per block
    bool encoderFailureReported_ = false;
    std::uint64_t examFrames_ = 0;                          // handed over since the exam's start
    std::optional<exam_journal::LostAudioPlace> gapPlace_;  // of the loss not yet told
    // The answer the last block went into: a loss after that block lies in it, even once a lost
    // card has closed it and another has opened.
    struct AnswerSeen {
        std::uint64_t number = 0;
        QString kim;
        QString file;
        std::int64_t elapsed = 0;
    };
    std::optional<AnswerSeen> lastAnswer_;
    std::uint64_t gapAnswer_ = 0;  // the number of the answer gapPlace_ names
};
