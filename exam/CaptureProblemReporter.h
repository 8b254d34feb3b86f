// Tells the organiser, through the window, each time capture loses audio or loses the sound
// card, so a gap in the exam's recording never passes unnoticed.
#pragma once

#include <cstdint>

#include "audio/CaptureProblemListener.h"

class ExamWindowUpdates;

// The window must outlive it.
class CaptureProblemReporter : public CaptureProblemListener {
public:
    explicit CaptureProblemReporter(ExamWindowUpdates& window) : window_(window) {}

    void onOverrun(std::uint32_t total) override;
    void onDeviceLost() override;

private:
    ExamWindowUpdates& window_;
};
