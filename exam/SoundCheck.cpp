#include "exam/SoundCheck.h"

#include <exception>

#include "audio/CaptureDevice.h"

SoundCheck::~SoundCheck() {
    stop();
}

void SoundCheck::follow(CaptureDevice* device) {
    if (device != nullptr && device == device_ && device_->isOpen() && !device_->deviceLost()) {
        return;
    }
    if (device != nullptr && device == failed_ && ++callsSinceFailure_ < kCallsBeforeRetry) {
        return;
    }
    stop();
    failed_ = nullptr;
    if (device == nullptr) {
        return;
    }
    try {
        device->start(discard_);
        device_ = device;
    } catch (const std::exception&) {
        // The meter shows no signal; the organiser needs no box for a check.
        failed_ = device;
        callsSinceFailure_ = 0;
    }
}

void SoundCheck::stop() {
    if (device_ != nullptr) {
        device_->stop();
        device_ = nullptr;
    }
}
