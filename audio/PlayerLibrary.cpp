#include "audio/PlayerLibrary.h"

#include <utility>

namespace {

template <typename Function>
bool bind(const SharedLibrary& library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(library.symbol(name));
    return function != nullptr;
}

}  // namespace

bool PlayerLibrary::load(const std::string& programFolder) {
    if (library_.isLoaded()) {
        return true;
    }
    SharedLibrary candidate = SharedLibrary::load(fileName, programFolder);
    if (!candidate.isLoaded()) {
        return false;
    }
    const bool complete = bind(candidate, "BASS_Init", init) &&
                          bind(candidate, "BASS_ErrorGetCode", errorGetCode) &&
                          bind(candidate, "BASS_StreamCreateFile", streamCreateFile) &&
                          bind(candidate, "BASS_ChannelPlay", channelPlay) &&
                          bind(candidate, "BASS_StreamFree", streamFree);
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
