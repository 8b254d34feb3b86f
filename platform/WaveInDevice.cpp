#include "platform/WaveInDevice.h"

#include <span>

WaveResult WaveInDevice::prepareHeader(WaveHeader& header) {
    std::lock_guard lock(mutex_);
    if (closed_) {
        return WaveResult::InvalidHandle;
    }
    if (header.lpData == nullptr || header.dwBufferLength < format_.nBlockAlign) {
        return WaveResult::Error;
    }
    header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    return WaveResult::Ok;
}

WaveResult WaveInDevice::unprepareHeader(WaveHeader& header) {
    std::lock_guard lock(mutex_);
    if (closed_) {
        return WaveResult::InvalidHandle;
    }
    if ((header.dwFlags & WHDR_INQUEUE) != 0) {
        return WaveResult::StillQueued;
    }
    header.dwFlags &= ~WHDR_PREPARED;
    return WaveResult::Ok;
}

WaveResult WaveInDevice::addBuffer(WaveHeader& header) {
    std::lock_guard lock(mutex_);
    if (closed_) {
        return WaveResult::InvalidHandle;
    }
    if ((header.dwFlags & WHDR_PREPARED) == 0) {
        return WaveResult::Unprepared;
    }
    if ((header.dwFlags & WHDR_INQUEUE) != 0) {
        return WaveResult::StillQueued;
    }
    header.dwBytesRecorded = 0;
    header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    buffers_.push_back(&header);
    bufferAdded();
    return WaveResult::Ok;
}

WaveResult WaveInDevice::start() {
    std::lock_guard lock(mutex_);
    if (closed_) {
        return WaveResult::InvalidHandle;
    }
    if (lost_) {
        return WaveResult::Error;
    }
    if (running_) {
        return WaveResult::Ok;
    }
    if (!startSystem()) {
        return WaveResult::Error;
    }
    running_ = true;
    lostFrames_ = 0;
    return WaveResult::Ok;
}

WaveResult WaveInDevice::reset() {
    std::lock_guard lock(mutex_);
    if (closed_) {
        return WaveResult::InvalidHandle;
    }
    stopSystem();
    running_ = false;
    handBackAll();
    return WaveResult::Ok;
}

WaveResult WaveInDevice::close() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return WaveResult::InvalidHandle;
        }
        closed_ = true;
    }
    stopDriver();
    std::lock_guard lock(mutex_);
    closeSystem();
    handBackAll();
    queue_.post({WaveMessage::Kind::Close});
    return WaveResult::Ok;
}

void WaveInDevice::publishLevelsTo(LevelListener* meter) {
    std::lock_guard lock(mutex_);
    meter_ = meter;
}

void WaveInDevice::handBackFirst() {
    WaveHeader* header = buffers_.front();
    buffers_.pop_front();
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    queue_.post({WaveMessage::Kind::Data, header});
}

void WaveInDevice::handBackAll() {
    tellLostAudio();
    while (!buffers_.empty()) {
        handBackFirst();
    }
}

void WaveInDevice::publishLevel(const std::byte* data, std::uint32_t frames) {
    if (meter_ != nullptr) {
        const std::span samples(reinterpret_cast<const std::int16_t*>(data),
                                std::size_t{frames} * format_.nChannels);
        meter_->heard(samples, frames);
    }
}

void WaveInDevice::tellLostAudio() {
    if (lostFrames_ != 0) {
        queue_.post({WaveMessage::Kind::Overrun, nullptr, lostFrames_});
        lostFrames_ = 0;
    }
}

void WaveInDevice::loseDevice() {
    if (lost_) {
        return;
    }
    lost_ = true;
    tellLostAudio();
    if (!buffers_.empty() && buffers_.front()->dwBytesRecorded != 0) {
        handBackFirst();
    }
    queue_.post({WaveMessage::Kind::DeviceLost});
}
