// The wave-in layer over ALSA: device ids are indexes into the capture endpoint list, taken
// once per object, and an open device is an AlsaWaveInDevice on the endpoint's PCM.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/WaveIn.h"
#include "platform/alsa/AlsaCaptureEndpoints.h"

class AlsaWaveIn : public WaveInApi {
public:
    // Lists the machine's endpoints when first asked about a device.
    AlsaWaveIn() = default;
    explicit AlsaWaveIn(std::vector<AlsaCaptureEndpoint> endpoints)
        : endpoints_(std::move(endpoints)) {}

    std::uint32_t deviceCount() override;
    // Every listed endpoint records kWaveFormat4S16, the only format it opens with.
    WaveResult deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) override;
    WaveResult open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                    std::unique_ptr<WaveIn>& handle) override;

    // The control device of the endpoint `deviceId` names, for its mixer.
    std::optional<std::string> controlNameOf(std::uint32_t deviceId);

private:
    const std::vector<AlsaCaptureEndpoint>& endpoints();

    std::mutex mutex_;
    std::optional<std::vector<AlsaCaptureEndpoint>> endpoints_;
};
