#include "platform/alsa/AlsaWaveIn.h"

#include "platform/alsa/AlsaWaveInDevice.h"

AlsaWaveIn::Endpoints AlsaWaveIn::endpoints() {
    {
        std::lock_guard lock(mutex_);
        if (endpoints_) {
            return endpoints_;
        }
    }
    deviceCount();
    std::lock_guard lock(mutex_);
    return endpoints_;
}

std::optional<AlsaCaptureEndpoint> AlsaWaveIn::endpoint(std::uint32_t deviceId) {
    const Endpoints list = endpoints();
    if (deviceId >= list->size()) {
        return std::nullopt;
    }
    return (*list)[deviceId];
}

std::uint32_t AlsaWaveIn::deviceCount() {
    // Listed outside the lock: probing the cards takes a while.
    auto fresh = std::make_shared<const std::vector<AlsaCaptureEndpoint>>(list_());
    const auto count = static_cast<std::uint32_t>(fresh->size());
    std::lock_guard lock(mutex_);
    endpoints_ = std::move(fresh);
    return count;
}

WaveResult AlsaWaveIn::deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) {
    const std::optional<AlsaCaptureEndpoint> listed = endpoint(deviceId);
    if (!listed) {
        return WaveResult::BadDeviceId;
    }
    caps.name = listed->displayName;
    caps.identity = listed->pcmName;
    caps.formats = WAVE_FORMAT_4S16;
    return WaveResult::Ok;
}

WaveResult AlsaWaveIn::open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                            std::unique_ptr<WaveIn>& handle) {
    const std::optional<AlsaCaptureEndpoint> listed = endpoint(deviceId);
    if (!listed) {
        return WaveResult::BadDeviceId;
    }
    // The one format the endpoints were probed for.
    if (format != kWaveFormat4S16) {
        return WaveResult::BadFormat;
    }
    std::unique_ptr<AlsaWaveInDevice> device =
        AlsaWaveInDevice::open(listed->pcmName, format, queue);
    if (!device) {
        return WaveResult::Error;
    }
    handle = std::move(device);
    return WaveResult::Ok;
}

std::optional<std::string> AlsaWaveIn::controlNameOf(std::uint32_t deviceId) {
    const std::optional<AlsaCaptureEndpoint> listed = endpoint(deviceId);
    if (!listed) {
        return std::nullopt;
    }
    return listed->controlName;
}
