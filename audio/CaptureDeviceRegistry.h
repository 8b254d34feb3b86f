// The capture devices that can record 16-bit stereo at 44,100 Hz, as the system listed them
// when last asked: a card keeps its one device across listings, wherever it stands.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "audio/CaptureDevice.h"
#include "audio/CaptureResources.h"

class MixerApi;
class WaveInApi;

// Owns its devices, which all live as long as the registry: one that is no longer listed may
// still be recording, and is listed again when its card comes back. The wave-in and mixer
// layers and the resources must outlive the registry.
class CaptureDeviceRegistry {
public:
    CaptureDeviceRegistry(WaveInApi& waveIn, MixerApi& mixers,
                          CaptureResources& resources = CaptureResources::system());
    // Devices without a mixer: opening one fails with "Can't open Mixer Device.".
    explicit CaptureDeviceRegistry(WaveInApi& waveIn,
                                   CaptureResources& resources = CaptureResources::system());
    CaptureDeviceRegistry(const CaptureDeviceRegistry&) = delete;
    CaptureDeviceRegistry& operator=(const CaptureDeviceRegistry&) = delete;

    // The program's registry, over ALSA. Never destroyed: a recording may still run at exit.
    static CaptureDeviceRegistry& instance();

    // In ascending device id; built at the first call.
    std::vector<CaptureDevice*> devices();
    // Lists the devices again, keeping the device of every card still there, and returns them.
    std::vector<CaptureDevice*> listAgain();
    // The first listed device whose name equals `name` exactly. Throws AudioError "Device not
    // found." for a null name or no match.
    CaptureDevice& findByName(const char* name);

private:
    // Under lock_.
    void list();
    // The device of the card listed at `deviceId`, other than those `taken`; made if new.
    CaptureDevice& deviceOf(std::uint32_t deviceId, WaveInCaps caps,
                            const std::vector<CaptureDevice*>& taken);

    WaveInApi& waveIn_;
    MixerApi& mixers_;
    CaptureResources& resources_;
    std::mutex lock_;
    bool built_ = false;
    std::vector<std::unique_ptr<CaptureDevice>> owned_;
    std::vector<CaptureDevice*> devices_;
};
