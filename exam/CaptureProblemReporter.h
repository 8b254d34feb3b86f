// Tells the organiser, through the window, each time capture loses audio or loses the sound
// card, so a gap in the exam's recording never passes unnoticed.
#pragma once

#include <cstdint>

#include "audio/CaptureProblemListener.h"

class ExamWindowUpdates;
struct ExamSessionState;

// The window and the session state must outlive it. A lost sound card also closes an open
// answer with what it holds, since no block will come to close it.
class CaptureProblemReporter : public CaptureProblemListener {
public:
    CaptureProblemReporter(ExamWindowUpdates& window, ExamSessionState& session)
        : window_(window), session_(session) {}

    void onOverrun(std::uint32_t total) override;
    void onDeviceLost() override;

private:
    ExamWindowUpdates& window_;
    ExamSessionState& session_;
};
