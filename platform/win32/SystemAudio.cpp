#include "platform/SystemAudio.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <cstdio>
#include <string>

#include "platform/win32/Utf8.h"
#include "platform/win32/WinMixer.h"
#include "platform/win32/WinWaveIn.h"

namespace {

std::string identityOf(const GUID& guid) {
    if (IsEqualGUID(guid, GUID{})) {
        return {};
    }
    char text[40] = {};
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

// The wave-in devices the system lists, each opened as a WinWaveInDevice.
class WaveInDevices : public WaveInApi {
public:
    std::uint32_t deviceCount() override { return waveInGetNumDevs(); }

    // The name is cut at 31 characters; the name GUID, where the driver gives one, stands for
    // the whole name. A system that fills only the short record leaves it null.
    WaveResult deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) override {
        WAVEINCAPS2W system{};
        if (waveInGetDevCapsW(deviceId, reinterpret_cast<WAVEINCAPSW*>(&system), sizeof system) !=
            MMSYSERR_NOERROR) {
            return WaveResult::BadDeviceId;
        }
        caps.name = utf8FromWide(system.szPname);
        caps.formats = system.dwFormats;
        caps.identity = identityOf(system.NameGuid);
        return WaveResult::Ok;
    }

    WaveResult open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                    std::unique_ptr<WaveIn>& handle) override {
        return WinWaveInDevice::open(deviceId, format, queue, handle);
    }

    // Under Wine the first 2-s buffer comes back 1.94-1.96 s later than its sound would fill it.
    std::chrono::milliseconds firstSoundWithin() const override {
        return std::chrono::milliseconds(2'500);
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
