#include "platform/SystemAudio.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include "platform/win32/Utf8.h"
#include "platform/win32/WinMixer.h"
#include "platform/win32/WinWaveIn.h"

namespace {

// The wave-in devices the system lists, each opened as a WinWaveInDevice.
class WaveInDevices : public WaveInApi {
public:
    std::uint32_t deviceCount() override { return waveInGetNumDevs(); }

    WaveResult deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) override {
        WAVEINCAPSW system{};
        if (waveInGetDevCapsW(deviceId, &system, sizeof system) != MMSYSERR_NOERROR) {
            return WaveResult::BadDeviceId;
        }
        caps.name = utf8FromWide(system.szPname);
        caps.formats = system.dwFormats;
        return WaveResult::Ok;
    }

    WaveResult open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                    std::unique_ptr<WaveIn>& handle) override {
        return WinWaveInDevice::open(deviceId, format, queue, handle);
    }
};

}  // namespace

WaveInApi& systemWaveIn() {
    static auto* waveIn = new WaveInDevices;
    return *waveIn;
}

MixerApi& systemMixers() {
    static auto* mixers = new WinMixer;
    return *mixers;
}
