// Plays answers through the player library that start-up loaded and initialised.
#pragma once

#include <cstdint>

#include "platform/PlaybackPlayer.h"

class PlayerLibrary;

// The library must be loaded and outlive the player.
class PlaybackLibraryPlayer : public PlaybackPlayer {
public:
    explicit PlaybackLibraryPlayer(PlayerLibrary& library) : library_(library) {}
    ~PlaybackLibraryPlayer() override;
    PlaybackLibraryPlayer(const PlaybackLibraryPlayer&) = delete;
    PlaybackLibraryPlayer& operator=(const PlaybackLibraryPlayer&) = delete;

    bool play(const std::string& fileName) override;
    void stop() override;
    int errorCode() const override { return errorCode_; }

private:
    PlayerLibrary& library_;
    std::uint32_t stream_ = 0;
    int errorCode_ = 0;
};
