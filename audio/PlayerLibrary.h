// The MP3 player library, loaded at run time and bound as a unit: either all five calls the
// recorder makes are there, or the library is not used at all.
#pragma once

#include <string>

#include "bass.h"
#include "platform/SharedLibrary.h"
#include "platform/SystemNames.h"

class PlayerLibrary {
public:
    // Loads the library from `programFolder` first. False when it is missing or incomplete.
    bool load(const std::string& programFolder);
    bool isLoaded() const { return library_.isLoaded(); }
    // The first call the last refused library lacked; nullptr when none did.
    const char* missingCall() const { return missingCall_; }

    // Valid only after a successful load().
    decltype(&BASS_Init) init = nullptr;
    decltype(&BASS_ErrorGetCode) errorGetCode = nullptr;
    decltype(&BASS_StreamCreateFile) streamCreateFile = nullptr;
    decltype(&BASS_ChannelPlay) channelPlay = nullptr;
    decltype(&BASS_StreamFree) streamFree = nullptr;

private:
    SharedLibrary library_;
    const char* missingCall_ = nullptr;
};
