#include "platform/win32/WinWaveIn.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>

#include "platform/AudioThreadPriority.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kSystemBuffersPerSecond = 10;
// Two system buffers always stay with the device, so that it has somewhere to record into.
constexpr std::size_t kMostHeld = WinWaveInDevice::kSystemBuffers - 2;
// With audio flowing the driver wakes every tenth of a second; a device that stays quiet this
// long is gone. A sound server may take two seconds to deliver its first audio.
constexpr DWORD kLookMs = 500;
constexpr auto kQuietLimit = std::chrono::seconds(5);

// The system writes the flags from a thread of its own.
bool isDone(WAVEHDR& header) {
    return (std::atomic_ref(header.dwFlags).load(std::memory_order_acquire) & WHDR_DONE) != 0;
}

WaveResult resultOf(MMRESULT result) {
    switch (result) {
        case MMSYSERR_NOERROR:
            return WaveResult::Ok;
        case MMSYSERR_BADDEVICEID:
            return WaveResult::BadDeviceId;
        case WAVERR_BADFORMAT:
            return WaveResult::BadFormat;
        default:
            return WaveResult::Error;
    }
}

}  // namespace

void WinWaveInDevice::resetAndClose(HWAVEIN wave) {
    waveInReset(wave);
    waveInClose(wave);
}

WaveResult WinWaveInDevice::open(std::uint32_t deviceId, const WaveFormat& format,
                                 RecordingQueue& queue, std::unique_ptr<WaveIn>& handle) {
    // The levels are measured on 16-bit samples.
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 ||
        format.nChannels == 0 || format.nBlockAlign != 2 * format.nChannels ||
        format.nAvgBytesPerSec != format.nSamplesPerSec * format.nBlockAlign ||
        format.nAvgBytesPerSec < kSystemBuffersPerSecond * format.nBlockAlign) {
        return WaveResult::BadFormat;
    }
    // The wave mapper is no device of the list.
    if (deviceId >= waveInGetNumDevs()) {
        return WaveResult::BadDeviceId;
    }
    KernelHandle audioEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    KernelHandle stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!audioEvent || !stopEvent) {
        return WaveResult::Error;
    }
    std::unique_ptr<WinWaveInDevice> device;
    try {
        device.reset(
            new WinWaveInDevice(format, queue, std::move(audioEvent), std::move(stopEvent)));
    } catch (const std::bad_alloc&) {
        return WaveResult::Error;
    }

    WAVEFORMATEX system{};
    system.wFormatTag = format.wFormatTag;
    system.nChannels = format.nChannels;
    system.nSamplesPerSec = format.nSamplesPerSec;
    system.nAvgBytesPerSec = format.nAvgBytesPerSec;
    system.nBlockAlign = format.nBlockAlign;
    system.wBitsPerSample = format.wBitsPerSample;
    HWAVEIN raw = nullptr;
    const MMRESULT opened =
        waveInOpen(&raw, deviceId, &system, reinterpret_cast<DWORD_PTR>(device->audioEvent_.get()),
                   0, CALLBACK_EVENT);
    if (opened != MMSYSERR_NOERROR) {
        return resultOf(opened);
    }
    device->wave_.reset(raw);
    if (!device->queueSystemBuffers()) {
        return WaveResult::Error;
    }
    try {
        device->driver_ = std::thread(&WinWaveInDevice::drive, device.get());
    } catch (const std::system_error&) {
        return WaveResult::Error;
    }
    queue.post({WaveMessage::Kind::Open});
    handle = std::move(device);
    return WaveResult::Ok;
}

WinWaveInDevice::WinWaveInDevice(const WaveFormat& format, RecordingQueue& queue,
                                 KernelHandle audioEvent, KernelHandle stopEvent)
    : WaveInDevice(format, queue),
      systemBufferBytes_(format.nAvgBytesPerSec / kSystemBuffersPerSecond / format.nBlockAlign *
                         format.nBlockAlign),
      audioEvent_(std::move(audioEvent)),
      stopEvent_(std::move(stopEvent)),
      system_(std::make_unique<SystemBuffers>()) {
    system_->memory = std::make_unique<std::byte[]>(kSystemBuffers * systemBufferBytes_);
    for (std::size_t i = 0; i < kSystemBuffers; ++i) {
        WAVEHDR& header = system_->buffers[i].header;
        header.lpData = reinterpret_cast<LPSTR>(system_->memory.get() + i * systemBufferBytes_);
        header.dwBufferLength = systemBufferBytes_;
    }
}

WinWaveInDevice::~WinWaveInDevice() {
    stopDriver();
    std::lock_guard lock(mutex());
    closeSystem();
}

bool WinWaveInDevice::queueSystemBuffers() {
    for (SystemBuffer& buffer : system_->buffers) {
        if (waveInPrepareHeader(wave_.get(), &buffer.header, sizeof buffer.header) !=
                MMSYSERR_NOERROR ||
            waveInAddBuffer(wave_.get(), &buffer.header, sizeof buffer.header) !=
                MMSYSERR_NOERROR) {
            return false;
        }
        buffer.queued = true;
    }
    return true;
}

void WinWaveInDevice::stopDriver() {
    SetEvent(stopEvent_.get());
    if (driver_.joinable()) {
        driver_.join();
    }
}

void WinWaveInDevice::closeSystem() {
    if (!wave_) {
        return;
    }
    waveInReset(wave_.get());
    for (SystemBuffer& buffer : system_->buffers) {
        waveInUnprepareHeader(wave_.get(), &buffer.header, sizeof buffer.header);
    }
    if (waveInClose(wave_.release()) != MMSYSERR_NOERROR) {
        // A device that would not close may write into its buffers still.
        static_cast<void>(system_.release());
    }
}

void WinWaveInDevice::bufferAdded() {
    // Audio kept while no buffer was queued goes into this one now.
    if (running() && !lost()) {
        collect(false);
    }
}

bool WinWaveInDevice::startSystem() {
    if (waveInStart(wave_.get()) != MMSYSERR_NOERROR) {
        return false;
    }
    lastAudioAt_ = Clock::now();
    return true;
}

void WinWaveInDevice::stopSystem() {
    if (lost()) {
        return;
    }
    // The system hands back its buffers, the one being filled with what it holds.
    if (waveInReset(wave_.get()) == MMSYSERR_NOERROR) {
        collect(true);
    } else if (running()) {
        loseDevice();
    }
}

void WinWaveInDevice::drive() {
    const AudioThreadPriority priority;
    const std::array events{stopEvent_.get(), audioEvent_.get()};
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(events.size(), events.data(), FALSE, kLookMs);
        if (woke != WAIT_OBJECT_0 + 1 && woke != WAIT_TIMEOUT) {
            return;  // stopped
        }
        std::lock_guard lock(mutex());
        if (!running() || lost()) {
            continue;
        }
        collect(false);
        if (!lost() && Clock::now() - lastAudioAt_ > kQuietLimit) {
            loseDevice();
        }
    }
}

// Takes the system buffers back in the order they were queued, however the wake-ups came:
// each is looked at through its own flags, not counted from the events.
void WinWaveInDevice::collect(bool flush) {
    measureReturned();
    for (std::size_t looked = 0; looked < kSystemBuffers && !lost(); ++looked) {
        SystemBuffer& buffer = system_->buffers[next_];
        if (!buffer.queued || !isDone(buffer.header)) {
            return;
        }
        const auto* audio = reinterpret_cast<const std::byte*>(buffer.header.lpData);
        const std::uint32_t recorded = recordedIn(buffer);
        while (buffer.taken < recorded && !empty()) {
            WaveHeader& target = front();
            const std::uint32_t room = (target.dwBufferLength - target.dwBytesRecorded) /
                                       format().nBlockAlign * format().nBlockAlign;
            const std::uint32_t bytes = std::min(room, recorded - buffer.taken);
            if (bytes != 0) {
                tellLostAudio();
                std::memcpy(target.lpData + target.dwBytesRecorded, audio + buffer.taken, bytes);
                buffer.taken += bytes;
                target.dwBytesRecorded += bytes;
            }
            if (bytes == room) {
                handBackFirst();
            }
        }
        if (buffer.taken < recorded) {
            if (!flush && heldBuffers() <= kMostHeld) {
                return;
            }
            countLost((recorded - buffer.taken) / format().nBlockAlign);
        }
        requeue(buffer);
        next_ = (next_ + 1) % kSystemBuffers;
    }
}

// Every buffer back, whether or not a caller buffer is there to take it: the level moves on,
// and a device that records is not taken for gone, while the caller is away.
void WinWaveInDevice::measureReturned() {
    for (std::size_t i = 0; i < kSystemBuffers; ++i) {
        SystemBuffer& buffer = system_->buffers[(next_ + i) % kSystemBuffers];
        if (!buffer.queued || !isDone(buffer.header)) {
            return;
        }
        const std::uint32_t recorded = recordedIn(buffer);
        if (!buffer.measured && recorded != 0) {
            lastAudioAt_ = Clock::now();
            publishLevel(reinterpret_cast<const std::byte*>(buffer.header.lpData),
                         recorded / format().nBlockAlign);
        }
        buffer.measured = true;
    }
}

std::uint32_t WinWaveInDevice::recordedIn(const SystemBuffer& buffer) const {
    return std::min<std::uint32_t>(buffer.header.dwBytesRecorded, systemBufferBytes_) /
           format().nBlockAlign * format().nBlockAlign;
}

std::size_t WinWaveInDevice::heldBuffers() const {
    std::size_t held = 0;
    while (held < kSystemBuffers) {
        SystemBuffer& buffer = system_->buffers[(next_ + held) % kSystemBuffers];
        if (!buffer.queued || !isDone(buffer.header)) {
            break;
        }
        ++held;
    }
    return held;
}

void WinWaveInDevice::requeue(SystemBuffer& buffer) {
    buffer.measured = false;
    buffer.taken = 0;
    buffer.header.dwBytesRecorded = 0;
    buffer.queued =
        waveInAddBuffer(wave_.get(), &buffer.header, sizeof buffer.header) == MMSYSERR_NOERROR;
    if (!buffer.queued) {
        loseDevice();
    }
}
