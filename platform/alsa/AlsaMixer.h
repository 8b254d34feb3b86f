// The mixer layer over ALSA's simple mixer: a capture device's recording destination, source
// lines and controls, read from and written to the simple elements of its control device.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/MixerApi.h"

class AlsaMixer : public MixerApi {
public:
    // The ALSA control name (as snd_mixer_attach takes it) of a device's mixer, or nothing for
    // an unknown device id.
    using ControlNameOf = std::function<std::optional<std::string>(std::uint32_t deviceId)>;

    explicit AlsaMixer(ControlNameOf controlNameOf) : controlNameOf_(std::move(controlNameOf)) {}

    MixerResult open(std::uint32_t deviceId, std::unique_ptr<OpenMixer>& mixer) override;

private:
    ControlNameOf controlNameOf_;
};
