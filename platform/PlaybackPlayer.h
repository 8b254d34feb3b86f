// What listening needs from a player: play an answer file from its start in the background,
// say why it could not, and stop on request.
#pragma once

#include <memory>
#include <string>

class QObject;

class PlaybackPlayer {
public:
    virtual ~PlaybackPlayer() = default;

    // Starts `fileName` from its beginning and returns at once. False when it does not play;
    // errorCode() then tells the player's code for it.
    virtual bool play(const std::string& fileName) = 0;
    // Stops what play() started; nothing when nothing plays.
    virtual void stop() = 0;
    virtual int errorCode() const = 0;
};

// The system's own player, for when the player library cannot play; made over `window` for one
// playback.
std::unique_ptr<PlaybackPlayer> makeSystemFallbackPlayer(QObject* window);
