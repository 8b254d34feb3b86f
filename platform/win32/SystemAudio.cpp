#include "platform/SystemAudio.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include "platform/win32/Utf8.h"

namespace {

// The wave-in devices the system lists. Recording through them comes with the wave-in back end
// of the capture layer; until then a device opens as one that cannot record.
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

    WaveResult open(std::uint32_t, const WaveFormat&, RecordingQueue&,
                    std::unique_ptr<WaveIn>&) override {
        return WaveResult::Error;
    }
};

class NoMixers : public MixerApi {
public:
    std::unique_ptr<OpenMixer> open(std::uint32_t, int& result) override {
        result = MixerBadDevice;
        return nullptr;
    }
};

}  // namespace

WaveInApi& systemWaveIn() {
    static auto* waveIn = new WaveInDevices;
    return *waveIn;
}

MixerApi& systemMixers() {
    static auto* mixers = new NoMixers;
    return *mixers;
}
