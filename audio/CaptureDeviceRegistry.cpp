#include "audio/CaptureDeviceRegistry.h"

#include <algorithm>
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

std::vector<CaptureDevice*> CaptureDeviceRegistry::devices() {
    std::lock_guard guard(lock_);
    if (!built_) {
        list();
    }
    return devices_;
}

std::vector<CaptureDevice*> CaptureDeviceRegistry::listAgain() {
    std::lock_guard guard(lock_);
    list();
    return devices_;
}

void CaptureDeviceRegistry::list() {
    std::vector<CaptureDevice*> listed;
    const std::uint32_t count = waveIn_.deviceCount();
    for (std::uint32_t id = 0; id < count; ++id) {
        WaveInCaps caps;
        if (waveIn_.deviceCaps(id, caps) != WaveResult::Ok ||
            (caps.formats & recording_format::kCaptureFlag) == 0) {
            continue;
        }
        listed.push_back(&deviceOf(id, std::move(caps), listed));
    }
    devices_ = std::move(listed);
    built_ = true;
}

CaptureDevice& CaptureDeviceRegistry::deviceOf(std::uint32_t deviceId, WaveInCaps caps,
                                               const std::vector<CaptureDevice*>& taken) {
    for (const std::unique_ptr<CaptureDevice>& device : owned_) {
        // Two cards alike in name and identity are two devices, in the order listed.
        if (sameCard(device->caps(), caps) &&
            std::find(taken.begin(), taken.end(), device.get()) == taken.end()) {
            device->deviceId_.store(deviceId);
            return *device;
        }
    }
    owned_.push_back(
        std::make_unique<CaptureDevice>(deviceId, std::move(caps), waveIn_, mixers_, resources_));
    return *owned_.back();
}

CaptureDevice& CaptureDeviceRegistry::findByName(const char* name) {
    devices();
    if (name != nullptr) {
        std::lock_guard guard(lock_);
        for (CaptureDevice* device : devices_) {
            if (device->name() == name) {
                return *device;
            }
        }
    }
    throw AudioError("Device not found.");
}
