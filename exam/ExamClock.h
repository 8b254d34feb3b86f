// The exam's clock: local date-times taken to the whole second, the spans between them and
// how a span is shown in the window.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>

// The current local date and time. Tests give a scripted one.
using LocalClock = std::function<QDateTime()>;

LocalClock systemClock();

// `dateTime` to the whole second, as seconds since the epoch; the difference of two is the
// span between them in whole seconds.
std::int64_t wholeSeconds(const QDateTime& dateTime);

// "%H:%M.%S": hours within the day, minutes, seconds. A negative span (the clock was set back)
// shows as 00:00.00.
QString elapsedText(std::int64_t seconds);
