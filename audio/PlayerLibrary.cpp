#include "audio/PlayerLibrary.h"

#include <utility>

bool PlayerLibrary::load(const std::string& programFolder) {
    if (library_.isLoaded()) {
        return true;
    }
    SharedLibrary candidate = SharedLibrary::load(playerLibraryFileName, programFolder);
    missingCall_ = nullptr;
    if (!candidate.isLoaded()) {
        return false;
    }
    const char* missing = candidate.bindAll({{"BASS_Init", init},
                                             {"BASS_ErrorGetCode", errorGetCode},
                                             {"BASS_StreamCreateFile", streamCreateFile},
                                             {"BASS_ChannelPlay", channelPlay},
                                             {"BASS_StreamFree", streamFree}});
    if (missing != nullptr) {
        *this = PlayerLibrary();  // none of its calls is used
        missingCall_ = missing;
        return false;
    }
    library_ = std::move(candidate);
    return true;
}
