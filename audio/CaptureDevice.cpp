#include "audio/CaptureDevice.h"

#include <chrono>
#include <exception>
#include <utility>

#include "audio/AudioError.h"
#include "audio/AudioSink.h"
#include "audio/CaptureProblemListener.h"
#include "audio/CaptureResources.h"
#include "platform/AudioThreadPriority.h"

CaptureDevice::CaptureDevice(std::uint32_t deviceId, WaveInCaps caps, WaveInApi& waveIn,
                             MixerApi& mixers, CaptureResources& resources)
    : deviceId_(deviceId),
      caps_(std::move(caps)),
      waveIn_(waveIn),
      resources_(resources),
      mixer_(deviceId, mixers) {
    for (WaveHeader& buffer : buffers_) {
        buffer.dwBufferLength = kBufferBytes;
    }
}

CaptureDevice::~CaptureDevice() {
    stop();
}

MixerDevice& CaptureDevice::mixer() {
    mixer_.open(findCard());
    return mixer_;
}

std::uint32_t CaptureDevice::findCard() {
    const std::uint32_t count = waveIn_.deviceCount();
    for (std::uint32_t id = 0; id < count; ++id) {
        WaveInCaps listed;
        if (waveIn_.deviceCaps(id, listed) == WaveResult::Ok && sameCard(listed, caps_)) {
            deviceId_.store(id);
            return id;
        }
    }
    throw CardNotConnected(caps_.name);
}

bool CaptureDevice::isOpen() const {
    std::lock_guard guard(lock_);
    return handle_ != nullptr;
}

void CaptureDevice::start(AudioSink& sink) {
    std::lock_guard guard(lock_);
    if (handle_) {
        return;
    }
    const std::uint32_t deviceId = findCard();
    sink_ = &sink;
    state_.store(State::Starting);
    // Zeroed before anything can come back, whenever the thread gets to the Open message.
    {
        const std::lock_guard returned(returnedMutex_);
        returnedBuffers_ = 0;
    }
    overruns_.store(0);
    lostFrames_.store(0);
    lost_.store(false);
    level_.reset();

    try {
        thread_ = resources_.startThread([this] { record(); });
    } catch (const std::exception&) {
        sink_ = nullptr;
        throw AudioError("Can't create WAVE recording thread.");
    }
    if (waveIn_.open(deviceId, format_, queue_, handle_) != WaveResult::Ok) {
        state_.store(State::Stopping);
        // Nothing else will post to the thread now; this ends it.
        queue_.post({WaveMessage::Kind::Close});
        release(Release::Forget);
        throw AudioError("Can't open WaveIN Device.");
    }
    // The list may have moved between the look and the open: never record another card.
    WaveInCaps opened;
    if (waveIn_.deviceCaps(deviceId, opened) != WaveResult::Ok || !sameCard(opened, caps_)) {
        release(Release::Close);
        throw CardNotConnected(caps_.name);
    }
    handle_->publishLevelsTo(&level_);
    state_.store(State::Running);

    if (!block_) {
        block_ = resources_.allocate(2 * std::size_t{kBufferBytes});
        if (!block_) {
            release(Release::Close);
            throw AudioError("Can't allocate memory for WAVE buffer.");
        }
        buffers_[0].lpData = block_.get();
    }
    buffers_[1].lpData = buffers_[0].lpData + buffers_[0].dwBufferLength;

    if (handle_->prepareHeader(buffers_[0]) != WaveResult::Ok) {
        release(Release::Close);
        throw AudioError("Error preparing WAVEHDR 1.");
    }
    if (handle_->prepareHeader(buffers_[1]) != WaveResult::Ok) {
        release(Release::UnprepareBuffer1);
        throw AudioError("Error preparing WAVEHDR 2.");
    }
    if (handle_->addBuffer(buffers_[0]) != WaveResult::Ok) {
        release(Release::UnprepareBuffer2);
        throw AudioError("Error queueing WAVEHDR 1.");
    }
    if (handle_->addBuffer(buffers_[1]) != WaveResult::Ok) {
        handedBack();  // only buffer 1 can come back
        stop();
        throw AudioError("Error queueing WAVEHDR 2.");
    }
    if (handle_->start() != WaveResult::Ok) {
        stop();
        throw AudioError("Error starting record.");
    }
    queue_.post({WaveMessage::Kind::Started, nullptr, 0, waveIn_.firstSoundWithin()});
}

void CaptureDevice::stop() {
    std::lock_guard guard(lock_);
    if (!handle_) {
        return;
    }
    state_.store(State::Stopping);
    handle_->reset();
    {
        std::unique_lock returned(returnedMutex_);
        returnedChanged_.wait(returned, [this] { return returnedBuffers_ >= 2; });
    }
    release(Release::UnprepareBuffer2);
    buffers_[0].dwFlags = 0;
    buffers_[1].dwFlags = 0;
}

void CaptureDevice::release(Release from) {
    switch (from) {
        case Release::UnprepareBuffer2:
            handle_->unprepareHeader(buffers_[1]);
            [[fallthrough]];
        case Release::UnprepareBuffer1:
            handle_->unprepareHeader(buffers_[0]);
            [[fallthrough]];
        case Release::Close:
            while (handle_->close() != WaveResult::Ok) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            [[fallthrough]];
        case Release::Forget:
            // The close, or the failed open, has told the thread to end; only then may the
            // sink go and, one day, the buffers.
            if (thread_.joinable()) {
                thread_.join();
            }
            handle_.reset();
            sink_ = nullptr;
    }
}

void CaptureDevice::record() {
    const AudioThreadPriority priority;
    for (;;) {
        const WaveMessage message = queue_.take();
        switch (message.kind) {
            case WaveMessage::Kind::Open:
                // start zeroed returnedBuffers: an Open that comes late must not undo a count.
                break;
            case WaveMessage::Kind::Data:
                takeBack(*message.header);
                break;
            case WaveMessage::Kind::Overrun:
                overruns_.fetch_add(1);
                lostFrames_.fetch_add(message.lostFrames);
                if (CaptureProblemListener* listener = listener_.load()) {
                    listener->onOverrun(message.lostFrames);
                }
                break;
            case WaveMessage::Kind::DeviceLost:
                lost_.store(true);
                if (CaptureProblemListener* listener = listener_.load()) {
                    listener->onDeviceLost();
                }
                break;
            case WaveMessage::Kind::Started:
                if (sink_ != nullptr) {
                    sink_->onCaptureStarted(message.firstSoundWithin);
                }
                break;
            case WaveMessage::Kind::Close:
                return;
        }
    }
}

void CaptureDevice::takeBack(WaveHeader& header) {
    if (header.dwBytesRecorded != 0 && sink_ != nullptr) {
        sink_->onAudioData(header.lpData, header.dwBytesRecorded);
    }
    if (state_.load() == State::Stopping) {
        handedBack();
        return;
    }
    if (handle_->addBuffer(header) != WaveResult::Ok) {
        // A buffer the device refused will never come back to be counted.
        handedBack();
        return;
    }
    // A stop that began after the look above may have reset the device before the buffer got
    // there; it would then wait for it for ever. Resetting again hands it back.
    if (state_.load() == State::Stopping) {
        handle_->reset();
    }
}

void CaptureDevice::handedBack() {
    const std::lock_guard returned(returnedMutex_);
    ++returnedBuffers_;
    returnedChanged_.notify_all();
}
