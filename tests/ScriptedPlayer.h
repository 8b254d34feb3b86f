// A player for the window tests: notes what it is asked to do and fails when told to, with a
// code; nothing is played.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/PlaybackPlayer.h"

class ScriptedPlayer : public PlaybackPlayer {
public:
    explicit ScriptedPlayer(std::vector<std::string>& log, std::string name)
        : log_(log), name_(std::move(name)) {}
    bool play(const std::string& fileName) override {
        if (whilePlaying) {
            whilePlaying();
        }
        log_.push_back(name_ + (failWith ? " failed " : " plays ") + fileName);
        return !failWith;
    }
    void stop() override { log_.push_back(name_ + " stops"); }
    int errorCode() const override { return failWith.value_or(0); }

    std::optional<int> failWith;
    // Runs inside play(), as a player that takes its time to open the sound system.
    std::function<void()> whilePlaying;

private:
    std::vector<std::string>& log_;
    std::string name_;
};
