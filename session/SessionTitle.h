// How the established session reads in the main window's title, and the answer-length limit
// taken from its configuration text.
#pragma once

#include <QString>
#include <cstdint>

#include "session/SessionCodes.h"

// The codes, and the limit when there is one (above 0).
QString sessionTitle(const SessionCodes& codes, std::int32_t maxAnswerSeconds);

// The whole number the text begins with, read as the C library reads an integer: leading white
// space, an optional sign, digits up to any other character. No digits give 0.
std::int32_t maxAnswerSecondsFrom(const QString& text);
