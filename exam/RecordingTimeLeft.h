// How long the free disk space lasts at the exam's rate (the ALL file, and an answer file while
// one is open), and the two warnings it earns: below 30 minutes and below 5 minutes.
#pragma once

#include <cstdint>

std::int64_t recordingSecondsLeft(std::uint64_t freeBytes, bool answerOpen);

// Each warning is given once until reset.
class TimeLeftWarnings {
public:
    enum class Warning { None, Below30Minutes, Below5Minutes };

    Warning update(std::int64_t secondsLeft);
    void reset();

private:
    bool warned30_ = false;
    bool warned5_ = false;
};
