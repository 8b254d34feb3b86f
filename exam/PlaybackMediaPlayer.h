// The fallback player: the desktop's own media framework through Qt Multimedia, for when the
// player library cannot play. Its failures are not reported; the playback box counts down all
// the same.
#pragma once

#include <memory>

#include "exam/PlaybackPlayer.h"

class QAudioOutput;
class QMediaPlayer;
class QObject;

// Created over the window for one playback and destroyed when the playback box closes.
class PlaybackMediaPlayer : public PlaybackPlayer {
public:
    explicit PlaybackMediaPlayer(QObject* window);
    ~PlaybackMediaPlayer() override;
    PlaybackMediaPlayer(const PlaybackMediaPlayer&) = delete;
    PlaybackMediaPlayer& operator=(const PlaybackMediaPlayer&) = delete;

    bool play(const std::string& fileName) override;
    void stop() override;
    int errorCode() const override { return 0; }

private:
    // The output goes after the player that plays into it.
    std::unique_ptr<QAudioOutput> output_;
    std::unique_ptr<QMediaPlayer> player_;
};
