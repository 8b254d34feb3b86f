#include "audio/CaptureDeviceRegistry.h"

#include <utility>

#include "audio/AudioError.h"
#include "audio/RecordingFormat.h"
#include "platform/MixerApi.h"
#include "platform/SystemAudio.h"
#include "platform/WaveIn.h"

namespace {

class NoMixers : public MixerApi {
public:
    MixerResult open(std::uint32_t, std::unique_ptr<OpenMixer>&) override {
        return MixerResult::BadDevice;
    }
};

MixerApi& noMixers() {
    static NoMixers none;
    return none;
}

}  // namespace

CaptureDeviceRegistry::CaptureDeviceRegistry(WaveInApi& waveIn, MixerApi& mixers,
                                             CaptureResources& resources)
    : waveIn_(waveIn), mixers_(mixers), resources_(resources) {}

CaptureDeviceRegistry::CaptureDeviceRegistry(WaveInApi& waveIn, CaptureResources& resources)
    : CaptureDeviceRegistry(waveIn, noMixers(), resources) {}

CaptureDeviceRegistry& CaptureDeviceRegistry::instance() {
    static auto* registry = new CaptureDeviceRegistry(systemWaveIn(), systemMixers());
    return *registry;
}

const std::vector<CaptureDevice*>& CaptureDeviceRegistry::devices() {
    std::lock_guard guard(lock_);
    if (built_) {
        return devices_;
    }
    const std::uint32_t count = waveIn_.deviceCount();
    for (std::uint32_t id = 0; id < count; ++id) {
        WaveInCaps caps;
        if (waveIn_.deviceCaps(id, caps) != WaveResult::Ok ||
            (caps.formats & recording_format::kCaptureFlag) == 0) {
            continue;
        }
        owned_.push_back(
            std::make_unique<CaptureDevice>(id, std::move(caps), waveIn_, mixers_, resources_));
        devices_.push_back(owned_.back().get());
    }
    built_ = true;
    return devices_;
}

CaptureDevice& CaptureDeviceRegistry::findByName(const char* name) {
    const std::vector<CaptureDevice*>& list = devices();
    if (name != nullptr) {
        std::lock_guard guard(lock_);
        for (CaptureDevice* device : list) {
            if (device->name() == name) {
                return *device;
            }
        }
    }
    throw AudioError("Device not found.");
}
