// The private PulseAudio server's capture source as the program's ALSA layers see it, for the
// tests that record real sound, and a way to run the programs that make and play that sound.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/alsa/AlsaCaptureEndpoints.h"
#include "support/ChildProcess.h"

// The "pulse" endpoint among those the program lists; nothing when it is missing.
inline std::optional<AlsaCaptureEndpoint> soundServerEndpoint() {
    for (const AlsaCaptureEndpoint& endpoint : listAlsaCaptureEndpoints()) {
        if (endpoint.pcmName == "pulse") {
            return endpoint;
        }
    }
    return std::nullopt;
}

// For AlsaMixer: the registry's only card, device 0, is the sound server.
inline std::optional<std::string> soundServerMixerName(std::uint32_t deviceId) {
    return deviceId == 0 ? std::optional<std::string>("pulse") : std::nullopt;
}

using test_support::runProgram;
