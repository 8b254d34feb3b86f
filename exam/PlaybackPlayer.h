// What listening needs from a player: play an answer file from its start in the background,
// say why it could not, and stop on request.
#pragma once

#include <string>

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
