// Tells the organiser, through the window, when capture loses the sound card, and hands the audio
// it loses to the session's gap watch, so a gap in the exam's recording never passes unnoticed.
#pragma once

#include <QString>
#include <cstdint>

#include "audio/CaptureProblemListener.h"

class ExamJournal;
class RecordingEvents;
struct ExamSessionState;

// The events, the session state and the journal must outlive it. A lost sound card also stops and
// closes an open answer with what it holds, since no block will come to close it.
class CaptureProblemReporter : public CaptureProblemListener {
public:
    CaptureProblemReporter(RecordingEvents& events, ExamSessionState& session, ExamJournal& journal)
        : events_(events), session_(session), journal_(journal) {}

    void onOverrun(std::uint32_t lostFrames) override;
    void onDeviceLost() override;

    // What the organiser is told of `lostFrames` of lost audio.
    static QString lostAudioText(std::uint32_t lostFrames);

private:
    RecordingEvents& events_;
    ExamSessionState& session_;
    ExamJournal& journal_;
};
