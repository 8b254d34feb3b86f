// Listening to the answer recorded last: plays it through the player library, or the fallback
// player, while a box counts the answer's length down in its title and closes itself at the end.
#pragma once

#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "platform/PlaybackPlayer.h"

class ExamWindow;
class OpenBox;
class QObject;

// Lives in the window, which must outlive it, as must the library player. The library's calls
// may wait seconds for the sound system: each runs on a thread of its own while the window goes
// on painting and showing the recording's reports.
class Playback {
public:
    // Makes the fallback player for one playback, over `window`.
    using FallbackFactory = std::function<std::unique_ptr<PlaybackPlayer>(QObject* window)>;

    // `library`: null when there is no player library. `makeFallback`: makes the fallback player
    // for one playback.
    Playback(ExamWindow& window, PlaybackPlayer* library, FallbackFactory makeFallback);
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Button 1015. Returns once the playback box has closed and the playback has stopped.
    void onListen();
    // Each tick of the one-second playback timer.
    void onTimer();

    int playbackCountdown() const { return playbackCountdown_; }
    // Whether answers are played through the player library: set by start-up, dropped for good
    // once the organiser has chosen the fallback after a failed library playback.
    bool bassAvailable() const { return bassAvailable_; }
    void setBassAvailable(bool available) { bassAvailable_ = available; }

private:
    // Starts the file on the player to use; null when nothing plays.
    PlaybackPlayer* startPlayer(const std::string& fileName,
                                std::unique_ptr<PlaybackPlayer>& fallback);
    // Runs `call` on a thread of its own; the window takes no input until it has returned.
    template <typename Call>
    auto besideWindow(Call call);

    ExamWindow& window_;
    PlaybackPlayer* const library_;
    const FallbackFactory makeFallback_;
    QTimer timer_;
    int playbackCountdown_ = 0;
    OpenBox* playbackBox_ = nullptr;
    bool bassAvailable_ = false;
};
