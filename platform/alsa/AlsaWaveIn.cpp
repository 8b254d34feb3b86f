#include "platform/alsa/AlsaWaveIn.h"

#include "platform/alsa/AlsaWaveInDevice.h"

const std::vector<AlsaCaptureEndpoint>& AlsaWaveIn::endpoints() {
    std::lock_guard lock(mutex_);
    if (!endpoints_) {
        endpoints_ = listAlsaCaptureEndpoints();
    }
    return *endpoints_;
}

std::uint32_t AlsaWaveIn::deviceCount() {
    return static_cast<std::uint32_t>(endpoints().size());
}

WaveResult AlsaWaveIn::deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) {
    const std::vector<AlsaCaptureEndpoint>& list = endpoints();
    if (deviceId >= list.size()) {
        return WaveResult::BadDeviceId;
    }
    caps.name = list[deviceId].displayName;
    caps.formats = WAVE_FORMAT_4S16;
    return WaveResult::Ok;
}

WaveResult AlsaWaveIn::open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                            std::unique_ptr<WaveIn>& handle) {
    const std::vector<AlsaCaptureEndpoint>& list = endpoints();
    if (deviceId >= list.size()) {
        return WaveResult::BadDeviceId;
    }
    // The one format the endpoints were probed for.
    if (format != kWaveFormat4S16) {
        return WaveResult::BadFormat;
    }
    std::unique_ptr<AlsaWaveInDevice> device =
        AlsaWaveInDevice::open(list[deviceId].pcmName, format, queue);
    if (!device) {
        return WaveResult::Error;
    }
    handle = std::move(device);
    return WaveResult::Ok;
}

std::optional<std::string> AlsaWaveIn::controlNameOf(std::uint32_t deviceId) {
    const std::vector<AlsaCaptureEndpoint>& list = endpoints();
    if (deviceId >= list.size()) {
        return std::nullopt;
    }
    return list[deviceId].controlName;
}
