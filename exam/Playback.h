// Listening to the answer recorded last: plays it through the player library, or the fallback
// player, while a box counts the answer's length down in its title and closes itself at the end.
#pragma once

#include <QTimer>
#include <functional>
#include <memory>

#include "exam/PlaybackPlayer.h"

class ExamRecorderDialog;
class OpenBox;

// Lives in the window, which must outlive it, as must the library player.
class Playback {
public:
    // Makes the fallback player for one playback, over `window`.
    using FallbackFactory = std::function<std::unique_ptr<PlaybackPlayer>(QObject* window)>;

    // `library`: null when there is no player library. `makeFallback`: empty for Qt Multimedia.
    Playback(ExamRecorderDialog& window, PlaybackPlayer* library, FallbackFactory makeFallback);

    // Button 1015. Returns once the playback box has closed and the playback has stopped.
    void onListen();
    // Each tick of the one-second playback timer.
    void onTimer();

    int playbackCountdown() const { return playbackCountdown_; }

private:
    // Starts the file on the player to use; null when nothing plays.
    PlaybackPlayer* startPlayer(const std::string& fileName,
                                std::unique_ptr<PlaybackPlayer>& fallback);

    ExamRecorderDialog& window_;
    PlaybackPlayer* const library_;
    const FallbackFactory makeFallback_;
    QTimer timer_;
    int playbackCountdown_ = 0;
    OpenBox* playbackBox_ = nullptr;
};
