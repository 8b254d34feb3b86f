#include "audio/PlayerLibrary.h"

#include <utility>

bool PlayerLibrary::load(const std::string& programFolder) {
    if (library_.isLoaded()) {
        return true;
    }
    SharedLibrary candidate = SharedLibrary::load(playerLibraryFileName, programFolder);
    if (!candidate.isLoaded()) {
        return false;
    }
    const bool complete = candidate.bind("BASS_Init", init) &&
                          candidate.bind("BASS_ErrorGetCode", errorGetCode) &&
                          candidate.bind("BASS_StreamCreateFile", streamCreateFile) &&
                          candidate.bind("BASS_ChannelPlay", channelPlay) &&
                          candidate.bind("BASS_StreamFree", streamFree);
    if (!complete) {
        init = nullptr;
        errorGetCode = nullptr;
        streamCreateFile = nullptr;
        channelPlay = nullptr;
        streamFree = nullptr;
        return false;
    }
    library_ = std::move(candidate);
    return true;
}
