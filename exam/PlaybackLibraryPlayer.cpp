#include "exam/PlaybackLibraryPlayer.h"

#include "audio/PlayerLibrary.h"

PlaybackLibraryPlayer::~PlaybackLibraryPlayer() {
    stop();
}

bool PlaybackLibraryPlayer::play(const std::string& fileName) {
    stop();
    stream_ = library_.streamCreateFile(0, fileName.c_str(), 0, 0, 0);
    const bool playing = library_.channelPlay(stream_, 0) != 0;
    // The code belongs to the calling thread's last failure: read it before anything else.
    errorCode_ = playing ? 0 : library_.errorGetCode();
    if (!playing) {
        stop();
    }
    return playing;
}

void PlaybackLibraryPlayer::stop() {
    if (stream_ != 0) {
        library_.streamFree(stream_);
        stream_ = 0;
    }
}
