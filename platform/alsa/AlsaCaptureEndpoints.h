// The capture endpoints the machine offers through ALSA, in a stable order: each one is a
// wave-in device (by its index in this list) and, through controlName, that device's mixer.
#pragma once

#include <string>
#include <vector>

struct AlsaCaptureEndpoint {
    std::string displayName;  // human-readable and distinct within the list
    std::string pcmName;      // what snd_pcm_open is given
    std::string controlName;  // what snd_mixer_attach / snd_ctl_open is given
};

// Lists every endpoint that accepts 16-bit stereo capture at 44,100 Hz.
std::vector<AlsaCaptureEndpoint> listAlsaCaptureEndpoints();
