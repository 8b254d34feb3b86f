// One open wave-in device of the system behind the wave-in operations: the system fills small
// buffers of its own, a tenth of a second each, and a driver thread, woken by the device's
// event, copies them in order into the caller's queued buffers, posting each back when full.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include "audio/LevelMeter.h"
#include "audio/RecordingQueue.h"
#include "platform/QueuedWaveBuffers.h"
#include "platform/WaveIn.h"

// After WaveIn.h: mmsystem.h defines its flag and format names as macros.
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

struct KernelHandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using KernelHandle = std::unique_ptr<void, KernelHandleCloser>;

// Each system buffer publishes its level to the meter if one is given. Audio with no caller
// buffer to go to waits in the system buffers while enough of them stay with the device; past
// that the oldest is dropped and counted, and the loss is posted as Overrun once audio goes into
// a buffer again (or the device stops). A device whose calls fail, or that records nothing for
// a few seconds while started, is posted once as DeviceLost, with the buffer being filled
// handed back first; the other buffers stay queued until reset or close hands them back.
class WinWaveInDevice : public WaveIn {
public:
    // Opens system device `deviceId` for 16-bit PCM `format`; on success `handle` holds it and
    // Open is posted to `queue`, which must outlive it.
    static WaveResult open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                           std::unique_ptr<WaveIn>& handle);
    ~WinWaveInDevice() override;
    WinWaveInDevice(const WinWaveInDevice&) = delete;
    WinWaveInDevice& operator=(const WinWaveInDevice&) = delete;

    WaveResult prepareHeader(WaveHeader& header) override;
    WaveResult unprepareHeader(WaveHeader& header) override;
    WaveResult addBuffer(WaveHeader& header) override;
    WaveResult start() override;
    WaveResult reset() override;
    WaveResult close() override;
    void publishLevelsTo(LevelMeter* meter) override;

    static constexpr std::size_t kSystemBuffers = 10;

private:
    struct WaveInCloser {
        void operator()(HWAVEIN wave) const;
    };
    using WaveInHandle = std::unique_ptr<std::remove_pointer_t<HWAVEIN>, WaveInCloser>;

    struct SystemBuffer {
        WAVEHDR header{};
        bool queued = false;    // with the device, or done and not yet re-queued
        bool measured = false;  // its level published since it came back
        std::uint32_t taken = 0;
    };
    // Written by the system until the device is closed, so kept apart from the object, which
    // leaves them behind when the system will not close it.
    struct SystemBuffers {
        std::array<SystemBuffer, kSystemBuffers> buffers;
        std::unique_ptr<std::byte[]> memory;
    };

    WinWaveInDevice(const WaveFormat& format, RecordingQueue& queue, KernelHandle audioEvent,
                    KernelHandle stopEvent);

    bool queueSystemBuffers();
    void drive();
    void collect(bool flush);
    std::size_t heldBuffers() const;
    void requeue(SystemBuffer& buffer);
    void loseDevice();
    void stopDriver();
    void closeSystemDevice();
    void publishLevel(const std::byte* data, std::uint32_t bytes);

    const WaveFormat format_;
    const std::uint32_t systemBufferBytes_;
    RecordingQueue& queue_;
    const KernelHandle audioEvent_;  // signalled by the system as it hands a buffer back
    const KernelHandle stopEvent_;
    std::unique_ptr<SystemBuffers> system_;
    WaveInHandle wave_;

    std::mutex mutex_;  // guards everything below, and every call on wave_
    QueuedWaveBuffers buffers_;
    std::size_t next_ = 0;  // the system buffer that comes back next
    bool running_ = false;
    bool closed_ = false;
    bool lost_ = false;
    std::chrono::steady_clock::time_point lastAudioAt_;
    LevelMeter* meter_ = nullptr;

    std::thread driver_;
};
