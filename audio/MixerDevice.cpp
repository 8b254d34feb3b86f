#include "audio/MixerDevice.h"

#include <utility>

#include "audio/AudioError.h"

void MixerDevice::open() {
    // The error is thrown here, after the lock is released.
    if (!openUnderLock(std::nullopt)) {
        throw AudioError("Can't open Mixer Device.");
    }
}

void MixerDevice::open(std::uint32_t deviceId) {
    if (!openUnderLock(deviceId)) {
        throw AudioError("Can't open Mixer Device.");
    }
}

bool MixerDevice::openUnderLock(std::optional<std::uint32_t> deviceId) {
    std::lock_guard guard(lock_);
    if (handle_) {
        return true;
    }
    if (deviceId) {
        deviceId_ = *deviceId;
    }
    std::unique_ptr<OpenMixer> mixer;
    if (api_.open(deviceId_, mixer) != MixerResult::Ok || !mixer) {
        return false;
    }
    handle_ = std::move(mixer);
    fillLines();
    return true;
}

void MixerDevice::fillLines() {
    MixerLineInfo destination;
    if (handle_->getDestination(MixerComponent::WaveInDestination, destination) !=
        MixerResult::Ok) {
        return;
    }
    for (std::uint32_t index = 0; index < destination.connections; ++index) {
        MixerLineInfo source;
        if (handle_->getSource(destination, index, source) == MixerResult::Ok &&
            source.component != MixerComponent::Synthesizer) {
            lines_.push_back(std::make_unique<MixerLine>(source, *handle_));
        }
    }
}

void MixerDevice::close() {
    std::lock_guard guard(lock_);
    if (!handle_) {
        return;
    }
    lines_.clear();
    handle_.reset();
}

MixerLine& MixerDevice::findLine(const char* name) {
    if (name != nullptr) {
        std::lock_guard guard(lock_);
        for (const std::unique_ptr<MixerLine>& line : lines_) {
            if (line->name() == name) {
                return *line;
            }
        }
    }
    throw AudioError("Mixer's line not found.");
}
