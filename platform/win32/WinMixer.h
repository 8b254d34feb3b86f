// The mixer layer over the Windows multimedia mixer calls: the mixer that belongs to a wave-in
// device, its recording destination, source lines and controls.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/MixerApi.h"

class WinMixer : public MixerApi {
public:
    MixerResult open(std::uint32_t deviceId, std::unique_ptr<OpenMixer>& mixer) override;
};
