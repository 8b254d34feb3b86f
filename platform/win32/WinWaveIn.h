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

#include "platform/UniqueHandle.h"
#include "platform/WaveInDevice.h"

// After WaveIn.h: mmsystem.h defines its flag and format names as macros.
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

inline void closeKernelHandle(HANDLE handle) {
    CloseHandle(handle);
}
using KernelHandle = UniqueHandle<void, closeKernelHandle>;

// Each system buffer is handed to the level listener as it comes back. Audio with no caller
// buffer to go to waits in the system buffers, up to four seconds of it, while two more stay
// with the device; past that the oldest is dropped and counted as Overrun. A device whose calls
// fail, or that records nothing for a few seconds while started, is posted as DeviceLost.
class WinWaveInDevice : public WaveInDevice {
public:
    // Opens system device `deviceId` for 16-bit PCM `format`; on success `handle` holds it and
    // Open is posted to `queue`, which must outlive it.
    static WaveResult open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                           std::unique_ptr<WaveIn>& handle);
    ~WinWaveInDevice() override;

    // Four seconds can wait for a caller that is away as long as both its buffers last.
    static constexpr std::size_t kSystemBuffers = 42;

private:
    static void resetAndClose(HWAVEIN wave);
    using WaveInHandle = UniqueHandle<std::remove_pointer_t<HWAVEIN>, resetAndClose>;

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

    void bufferAdded() override;
    bool startSystem() override;
    void stopSystem() override;
    void stopDriver() override;
    void closeSystem() override;

    bool queueSystemBuffers();
    void drive();
    void collect(bool flush);
    void measureReturned();
    std::uint32_t recordedIn(const SystemBuffer& buffer) const;
    std::size_t heldBuffers() const;
    void requeue(SystemBuffer& buffer);

    const std::uint32_t systemBufferBytes_;
    const KernelHandle audioEvent_;  // signalled by the system as it hands a buffer back
    const KernelHandle stopEvent_;
    std::unique_ptr<SystemBuffers> system_;
    WaveInHandle wave_;

    // Guarded by mutex(), as is every call on wave_.
    std::size_t next_ = 0;  // the system buffer that comes back next
    std::chrono::steady_clock::time_point lastAudioAt_;

    std::thread driver_;
};
