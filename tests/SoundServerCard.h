// The private PulseAudio server's capture source as the program's ALSA layers see it, for the
// tests that record real sound, and a way to run the programs that make and play that sound.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/AlsaCaptureEndpoints.h"

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

// Runs a program to its end; its exit status, or -1.
inline int runProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    int status = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
        waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
