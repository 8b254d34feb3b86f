// One open ALSA capture PCM behind the wave-in operations: a driver thread of its own reads
// 16-bit stereo 44,100 Hz into the queued buffers and posts each one back when it is full.
#pragma once

#include <poll.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/WaveInDevice.h"
#include "platform/alsa/AlsaHandles.h"
#include "platform/alsa/Wakeup.h"

// Each read, about a period (100 ms), is handed to the level listener. Audio lost to an
// overrun, or dropped because no buffer was queued in time, is posted as Overrun; a PCM that
// goes away, as DeviceLost.
class AlsaWaveInDevice : public WaveInDevice {
public:
    // Opens `pcmName` for 16-bit PCM `format` and posts Open to `queue`, which must outlive the
    // device. Null when the PCM cannot be opened or does not take the format.
    static std::unique_ptr<AlsaWaveInDevice> open(const std::string& pcmName,
                                                  const WaveFormat& format, RecordingQueue& queue);
    ~AlsaWaveInDevice() override;

private:
    AlsaWaveInDevice(AlsaPcm pcm, const WaveFormat& format, snd_pcm_uframes_t periodFrames,
                     snd_pcm_uframes_t ringFrames, RecordingQueue& queue);

    void bufferAdded() override;
    bool startSystem() override;
    void stopSystem() override;
    void stopDriver() override;
    void closeSystem() override;

    void drive();
    void waitForAudio(std::unique_lock<std::mutex>& lock);
    void readIntoBuffers();
    void keepFromOverrunning();
    void recover(int error);
    void changed();

    AlsaPcm pcm_;
    const snd_pcm_uframes_t periodFrames_;
    const snd_pcm_uframes_t ringFrames_;
    Wakeup wakeup_;

    // Guarded by mutex(), as is every call on pcm_.
    std::condition_variable changed_;
    std::vector<std::byte> dropped_;  // room for audio read only to be thrown away
    bool stopping_ = false;
    std::chrono::steady_clock::time_point lastReadAt_;

    std::vector<pollfd> pollFds_;  // the driver thread's own
    std::thread driver_;
};
