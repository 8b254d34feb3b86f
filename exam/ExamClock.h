// The exam's clock: the local date and time that names and dates the exam's files and lines
// (spans are counted in the sound recorded, never from it), and how a span is shown.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>

// The current local date and time. Tests give a scripted one.
using LocalClock = std::function<QDateTime()>;

LocalClock systemClock();

// "%H:%M.%S": hours within the day, minutes, seconds. A negative span shows as 00:00.00.
QString elapsedText(std::int64_t seconds);
