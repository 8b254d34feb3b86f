// The sound output through libout123 (PulseAudio, else ALSA; winmm on Windows), and what its
// failures are in the library's error codes.
#pragma once

#include <out123.h>

#include <chrono>
#include <optional>
#include <string>

#include "platform/UniqueHandle.h"
#include "player/bass.h"

using Output = UniqueHandle<out123_handle, out123_del>;

// How long a caller may wait for the sound system to open a device.
constexpr auto kOpenBound = std::chrono::seconds(4);

// A new output handle, not yet open; null, with `error` set, when there is none to give.
Output newOutput(int& error);
// The error code for an out123_open that failed on `output`.
int errorForOpen(out123_handle* output);

struct ProbeResult {
    int error = BASS_OK;  // when the output opened and took the probe's format
    std::string driver;   // the driver that opened, or the list to try
};

// Opens and starts the default output once, on a thread of its own. Nothing when the sound
// system did not answer within `bound`; that thread is then left to finish by itself.
std::optional<ProbeResult> probeOutputWithin(std::chrono::milliseconds bound);
