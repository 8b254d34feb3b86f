// The wave-in layer over ALSA: device ids are indexes into the capture endpoint list as last
// read, which every deviceCount reads again, and an open device is an AlsaWaveInDevice on the
// endpoint's PCM.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/WaveIn.h"
#include "platform/alsa/AlsaCaptureEndpoints.h"

class AlsaWaveIn : public WaveInApi {
public:
    using EndpointLister = std::function<std::vector<AlsaCaptureEndpoint>()>;

    // Lists the machine's endpoints.
    AlsaWaveIn() : AlsaWaveIn(EndpointLister(listAlsaCaptureEndpoints)) {}
    // `list` gives the endpoints each time the list is read.
    explicit AlsaWaveIn(EndpointLister list) : list_(std::move(list)) {}
    // The same endpoints at every reading.
    explicit AlsaWaveIn(std::vector<AlsaCaptureEndpoint> endpoints)
        : AlsaWaveIn(EndpointLister([endpoints = std::move(endpoints)] { return endpoints; })) {}

    std::uint32_t deviceCount() override;
    // Every listed endpoint records kWaveFormat4S16, the only format it opens with. The
    // endpoint's PCM is its identity.
    WaveResult deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) override;
    WaveResult open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                    std::unique_ptr<WaveIn>& handle) override;

    // The control device of the endpoint `deviceId` names in the list last read, for its mixer.
    std::optional<std::string> controlNameOf(std::uint32_t deviceId);

private:
    using Endpoints = std::shared_ptr<const std::vector<AlsaCaptureEndpoint>>;

    // The list last read, read now if it never was; a reading in another thread leaves it whole.
    Endpoints endpoints();
    std::optional<AlsaCaptureEndpoint> endpoint(std::uint32_t deviceId);

    const EndpointLister list_;
    std::mutex mutex_;
    Endpoints endpoints_;
};
