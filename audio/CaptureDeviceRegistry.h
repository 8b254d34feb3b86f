// The capture devices that can record 16-bit stereo at 44,100 Hz, listed once and kept as
// they were: a device attached later is seen only after a restart.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "audio/CaptureDevice.h"
#include "audio/CaptureResources.h"

class MixerApi;
class WaveInApi;

// Owns its devices. The wave-in and mixer layers and the resources must outlive the registry.
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
    const std::vector<CaptureDevice*>& devices();
    // The first device whose name equals `name` exactly. Throws AudioError "Device not found."
    // for a null name or no match.
    CaptureDevice& findByName(const char* name);

private:
    WaveInApi& waveIn_;
    MixerApi& mixers_;
    CaptureResources& resources_;
    std::mutex lock_;
    bool built_ = false;
    std::vector<std::unique_ptr<CaptureDevice>> owned_;
    std::vector<CaptureDevice*> devices_;
};
