#include "platform/alsa/AlsaWaveInDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <span>
#include <system_error>

#include "platform/AudioThreadPriority.h"

namespace {

constexpr unsigned kPeriodsPerSecond = 10;  // 100-ms periods
// Four seconds can wait for a sink that is away as long as both buffers last, besides the two
// periods kept free of the ring's end.
constexpr unsigned kRingPeriods = 4 * kPeriodsPerSecond + 2;
// With audio flowing a poll never waits this long; a device that stays silent is looked at.
constexpr int kQuietMs = 1000;

bool configure(snd_pcm_t* pcm, const WaveFormat& format, snd_pcm_uframes_t& periodFrames,
               snd_pcm_uframes_t& ringFrames) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 ||
        snd_pcm_hw_params_any(pcm, hw) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hw, format.nChannels) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, hw, format.nSamplesPerSec, 0) < 0) {
        return false;
    }
    // The ring before the period: a card that cannot have both (one that allows few periods)
    // gets longer periods, a level that moves less often, rather than a shorter ring. A card
    // whose ring cannot hold that much gets the most it offers, and the sink's slack is less.
    snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &ringFrames);
    int direction = 0;
    snd_pcm_hw_params_set_period_size_near(pcm, hw, &periodFrames, &direction);
    if (snd_pcm_hw_params(pcm, hw) < 0 ||
        snd_pcm_hw_params_get_period_size(hw, &periodFrames, &direction) < 0 ||
        snd_pcm_hw_params_get_buffer_size(hw, &ringFrames) < 0) {
        return false;
    }

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_uframes_t boundary = 0;
    // Started by start() only, never by a read.
    return snd_pcm_sw_params_current(pcm, sw) >= 0 &&
           snd_pcm_sw_params_get_boundary(sw, &boundary) >= 0 &&
           snd_pcm_sw_params_set_avail_min(pcm, sw, periodFrames) >= 0 &&
           snd_pcm_sw_params_set_start_threshold(pcm, sw, boundary) >= 0 &&
           snd_pcm_sw_params(pcm, sw) >= 0;
}

}  // namespace

std::unique_ptr<AlsaWaveInDevice> AlsaWaveInDevice::open(const std::string& pcmName,
                                                         const WaveFormat& format,
                                                         RecordingQueue& queue) {
    QuietAlsaErrors quiet;
    snd_pcm_t* raw = nullptr;
    if (snd_pcm_open(&raw, pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) {
        return nullptr;
    }
    AlsaPcm pcm(raw);
    snd_pcm_uframes_t periodFrames = format.nSamplesPerSec / kPeriodsPerSecond;
    snd_pcm_uframes_t ringFrames = kRingPeriods * periodFrames;
    if (!configure(raw, format, periodFrames, ringFrames)) {
        return nullptr;
    }
    std::unique_ptr<AlsaWaveInDevice> device;
    try {
        device.reset(new AlsaWaveInDevice(std::move(pcm), format, periodFrames, ringFrames, queue));
    } catch (const std::system_error&) {
        return nullptr;
    }
    if (!device->wakeup_.valid()) {
        return nullptr;
    }
    queue.post({WaveMessage::Kind::Open});
    return device;
}

AlsaWaveInDevice::AlsaWaveInDevice(AlsaPcm pcm, const WaveFormat& format,
                                   snd_pcm_uframes_t periodFrames, snd_pcm_uframes_t ringFrames,
                                   RecordingQueue& queue)
    : WaveInDevice(format, queue),
      pcm_(std::move(pcm)),
      periodFrames_(periodFrames),
      ringFrames_(ringFrames),
      dropped_(periodFrames * format.nBlockAlign),
      driver_(&AlsaWaveInDevice::drive, this) {}

AlsaWaveInDevice::~AlsaWaveInDevice() {
    stopDriver();
}

void AlsaWaveInDevice::changed() {
    changed_.notify_all();
    wakeup_.signal();
}

void AlsaWaveInDevice::stopDriver() {
    {
        std::lock_guard lock(mutex());
        stopping_ = true;
    }
    changed();
    if (driver_.joinable()) {
        driver_.join();
    }
}

void AlsaWaveInDevice::bufferAdded() {
    changed();
}

bool AlsaWaveInDevice::startSystem() {
    if (snd_pcm_state(pcm_.get()) != SND_PCM_STATE_PREPARED && snd_pcm_prepare(pcm_.get()) < 0) {
        return false;
    }
    if (snd_pcm_start(pcm_.get()) < 0) {
        return false;
    }
    lastReadAt_ = std::chrono::steady_clock::now();
    changed();
    return true;
}

void AlsaWaveInDevice::stopSystem() {
    if (running() && !lost()) {
        readIntoBuffers();  // what has been recorded so far belongs to the caller
    }
    snd_pcm_drop(pcm_.get());
    if (!lost()) {
        snd_pcm_prepare(pcm_.get());
    }
    changed();
}

void AlsaWaveInDevice::closeSystem() {
    pcm_.reset();
}

void AlsaWaveInDevice::drive() {
    QuietAlsaErrors quiet;
    const AudioThreadPriority priority;
    std::unique_lock lock(mutex());
    while (!stopping_) {
        if (!running() || lost()) {
            changed_.wait(lock);
        } else if (empty()) {
            keepFromOverrunning();
            changed_.wait_for(lock, std::chrono::microseconds(periodFrames_ * 1'000'000 /
                                                              format().nSamplesPerSec));
        } else {
            waitForAudio(lock);
            if (!stopping_ && running() && !lost()) {
                readIntoBuffers();
            }
        }
    }
}

void AlsaWaveInDevice::waitForAudio(std::unique_lock<std::mutex>& lock) {
    const int count = snd_pcm_poll_descriptors_count(pcm_.get());
    if (count <= 0) {
        loseDevice();
        return;
    }
    pollFds_.resize(static_cast<std::size_t>(count) + 1);
    snd_pcm_poll_descriptors(pcm_.get(), pollFds_.data(), static_cast<unsigned>(count));
    pollFds_.back() = {wakeup_.fd(), POLLIN, 0};

    lock.unlock();
    const int ready = ::poll(pollFds_.data(), pollFds_.size(), kQuietMs);
    lock.lock();
    wakeup_.clear();
    if (stopping_ || !running() || lost() || ready != 0) {
        return;  // the read that follows reports any error of the device
    }
    switch (snd_pcm_state(pcm_.get())) {
        case SND_PCM_STATE_XRUN:
            recover(-EPIPE);
            break;
        case SND_PCM_STATE_SUSPENDED:
            recover(-ESTRPIPE);
            break;
        case SND_PCM_STATE_DISCONNECTED:
            loseDevice();
            break;
        default:
            break;
    }
}

void AlsaWaveInDevice::readIntoBuffers() {
    while (!empty()) {
        WaveHeader& header = front();
        const snd_pcm_uframes_t room =
            (header.dwBufferLength - header.dwBytesRecorded) / format().nBlockAlign;
        if (room == 0) {
            handBackFirst();
            continue;
        }
        const snd_pcm_sframes_t got =
            snd_pcm_readi(pcm_.get(), header.lpData + header.dwBytesRecorded, room);
        if (got == -EINTR) {
            continue;
        }
        if (got == -EAGAIN || got == 0) {
            return;
        }
        if (got < 0) {
            recover(static_cast<int>(got));
            return;
        }
        lastReadAt_ = std::chrono::steady_clock::now();
        tellLostAudio();
        publishLevel(header.lpData + header.dwBytesRecorded, static_cast<std::uint32_t>(got));
        header.dwBytesRecorded += static_cast<std::uint32_t>(got) * format().nBlockAlign;
        if (static_cast<snd_pcm_uframes_t>(got) == room) {
            handBackFirst();
        }
    }
}

// No buffer to read into: the audio waits in the device's ring until one comes back. Only when
// the ring is about to overrun is the oldest audio dropped, a period at a time, and counted; the
// count is told once a buffer is back, so a long wait is one loss.
void AlsaWaveInDevice::keepFromOverrunning() {
    snd_pcm_sframes_t available = snd_pcm_avail_update(pcm_.get());
    if (available < 0) {
        recover(static_cast<int>(available));
        return;
    }
    const auto keep =
        static_cast<snd_pcm_sframes_t>(ringFrames_ - std::min(ringFrames_, 2 * periodFrames_));
    if (available <= keep) {
        return;
    }
    while (available > keep) {
        const auto frames = std::min<snd_pcm_uframes_t>(periodFrames_, available - keep);
        const snd_pcm_sframes_t got = snd_pcm_readi(pcm_.get(), dropped_.data(), frames);
        if (got == -EAGAIN || got == -EINTR || got == 0) {
            return;
        }
        if (got < 0) {
            recover(static_cast<int>(got));
            return;
        }
        lastReadAt_ = std::chrono::steady_clock::now();
        countLost(static_cast<std::uint32_t>(got));
        available -= got;
    }
}

void AlsaWaveInDevice::recover(int error) {
    if ((error == -EPIPE || error == -ESTRPIPE) && snd_pcm_recover(pcm_.get(), error, 1) == 0 &&
        (snd_pcm_state(pcm_.get()) != SND_PCM_STATE_PREPARED || snd_pcm_start(pcm_.get()) == 0)) {
        // The device stopped once its ring was full, and recorded nothing until now: all but
        // the ring's worth since the last read is gone (at least a period, whatever the clock).
        const auto since = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - lastReadAt_);
        const auto framesSince = static_cast<snd_pcm_uframes_t>(
            since.count() * static_cast<std::int64_t>(format().nSamplesPerSec) / 1'000'000);
        countLost(static_cast<std::uint32_t>(
            std::max(periodFrames_, framesSince > ringFrames_ ? framesSince - ringFrames_ : 0)));
        lastReadAt_ = std::chrono::steady_clock::now();
        tellLostAudio();
        return;
    }
    // -ENODEV, -EBADFD, -EIO, a recovery that failed: the device is gone.
    loseDevice();
}
