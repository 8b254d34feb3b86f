#include "platform/SystemAudio.h"

#include "platform/alsa/AlsaMixer.h"
#include "platform/alsa/AlsaWaveIn.h"

namespace {

AlsaWaveIn& alsaWaveIn() {
    static auto* waveIn = new AlsaWaveIn;
    return *waveIn;
}

}  // namespace

WaveInApi& systemWaveIn() {
    return alsaWaveIn();
}

MixerApi& systemMixers() {
    // Both layers read one endpoint list, so a device id names the same card for each.
    static auto* mixers =
        new AlsaMixer([](std::uint32_t deviceId) { return alsaWaveIn().controlNameOf(deviceId); });
    return *mixers;
}
