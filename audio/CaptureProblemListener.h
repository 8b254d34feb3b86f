// Told when a recording loses audio or its device goes away, so the exam window can say so
// instead of letting a gap in the recording pass unnoticed.
#pragma once

#include <cstdint>

class CaptureProblemListener {
public:
    // Both are called on the recording thread, between blocks, under the sink's rules.
    // `lostFrames`: the audio this overrun dropped, in frames of the capture format.
    virtual void onOverrun(std::uint32_t lostFrames) = 0;
    // The recording has ended: no more blocks come until the device is stopped and started.
    virtual void onDeviceLost() = 0;

protected:
    ~CaptureProblemListener() = default;
};
