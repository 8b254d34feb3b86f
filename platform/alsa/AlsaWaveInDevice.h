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

#include "audio/LevelMeter.h"
#include "audio/RecordingQueue.h"
#include "platform/QueuedWaveBuffers.h"
#include "platform/WaveIn.h"
#include "platform/alsa/AlsaHandles.h"
#include "platform/alsa/Wakeup.h"

// Each read, about a period (100 ms), publishes its level to the meter if one is given. Audio
// lost to an overrun, or dropped because no buffer was queued in time, is posted as Overrun
// with the frames lost, once the device reads into a buffer again (or stops). A
// device that goes away is posted as DeviceLost, with the buffer being filled handed back
// first; the other buffers stay queued until reset or close hands them back.
class AlsaWaveInDevice : public WaveIn {
public:
    // Opens `pcmName` for 16-bit PCM `format` and posts Open to `queue`, which must outlive the
    // device. Null when the PCM cannot be opened or does not take the format.
    static std::unique_ptr<AlsaWaveInDevice> open(const std::string& pcmName,
                                                  const WaveFormat& format, RecordingQueue& queue);
    ~AlsaWaveInDevice() override;
    AlsaWaveInDevice(const AlsaWaveInDevice&) = delete;
    AlsaWaveInDevice& operator=(const AlsaWaveInDevice&) = delete;

    WaveResult prepareHeader(WaveHeader& header) override;
    WaveResult unprepareHeader(WaveHeader& header) override;
    WaveResult addBuffer(WaveHeader& header) override;
    WaveResult start() override;
    WaveResult reset() override;
    WaveResult close() override;
    void publishLevelsTo(LevelMeter* meter) override;

private:
    AlsaWaveInDevice(AlsaPcm pcm, const WaveFormat& format, snd_pcm_uframes_t periodFrames,
                     snd_pcm_uframes_t ringFrames, RecordingQueue& queue);

    void drive();
    void waitForAudio(std::unique_lock<std::mutex>& lock);
    void readIntoBuffers();
    void keepFromOverrunning();
    void recover(int error);
    void loseDevice();
    void stopDriver();
    void changed();
    void publishLevel(const std::byte* data, snd_pcm_uframes_t frames);

    AlsaPcm pcm_;
    const WaveFormat format_;
    const snd_pcm_uframes_t periodFrames_;
    const snd_pcm_uframes_t ringFrames_;
    RecordingQueue& queue_;
    Wakeup wakeup_;

    std::mutex mutex_;  // guards everything below but pollFds_, and every call on pcm_
    std::condition_variable changed_;
    QueuedWaveBuffers buffers_;
    std::vector<std::byte> dropped_;  // room for audio read only to be thrown away
    bool running_ = false;
    bool stopping_ = false;
    bool closed_ = false;
    bool lost_ = false;
    std::chrono::steady_clock::time_point lastReadAt_;
    LevelMeter* meter_ = nullptr;

    std::vector<pollfd> pollFds_;  // the driver thread's own
    std::thread driver_;
};
