// Tells the organiser, through the window, when capture loses the sound card, and hands the audio
// it loses to the session's gap watch, so a gap in the exam's recording never passes unnoticed.
#pragma once

#include <QString>
#include <cstdint>
#include <mutex>

#include "audio/CaptureProblemListener.h"

class CaptureDevice;
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
    // Capture of the lost card runs again on `device`: answers may be recorded again, and the
    // status line says so, unless the card is already lost again. Called off the recording
    // thread.
    void onCaptureBack(const CaptureDevice& device);

    // What the organiser is told of `lostFrames` of lost audio.
    static QString lostAudioText(std::uint32_t lostFrames);

private:
    RecordingEvents& events_;
    ExamSessionState& session_;
    ExamJournal& journal_;
    // Orders a loss against a return, so the last word is the card's true state.
    std::mutex lossMutex_;
};
