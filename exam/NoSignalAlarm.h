// Decides when the organiser hears of a silent input during the exam: once it has been silent
// for 10 s, again every 30 s while it stays so, and when the signal comes back.
#pragma once

#include <cstdint>

class NoSignalAlarm {
public:
    static constexpr std::int64_t kFirstSeconds = 10;
    static constexpr std::int64_t kRepeatSeconds = 30;

    enum class Change { None, Raised, Cleared };

    // `quietSeconds`: how long the input has been silent now. Raised again at each repeat.
    Change update(std::int64_t quietSeconds);
    bool raised() const { return raised_; }
    void reset();

private:
    bool raised_ = false;
    std::int64_t nextAt_ = kFirstSeconds;
};
