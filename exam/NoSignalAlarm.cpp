#include "exam/NoSignalAlarm.h"

NoSignalAlarm::Change NoSignalAlarm::update(std::int64_t quietSeconds) {
    if (quietSeconds < kFirstSeconds) {
        if (!raised_) {
            return Change::None;
        }
        reset();
        return Change::Cleared;
    }
    if (quietSeconds < nextAt_) {
        return Change::None;
    }
    raised_ = true;
    // A poll that comes late skips the repeats it missed rather than catching up on them.
    nextAt_ =
        kFirstSeconds + ((quietSeconds - kFirstSeconds) / kRepeatSeconds + 1) * kRepeatSeconds;
    return Change::Raised;
}

void NoSignalAlarm::reset() {
    raised_ = false;
    nextAt_ = kFirstSeconds;
}
