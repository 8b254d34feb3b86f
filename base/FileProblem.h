// How the organiser is told that a file could not be made: the program's own words for it, and,
// when another program holds the file open, what to do about it.
#pragma once

#include <QString>

#include "platform/SystemError.h"

// `text`, followed by the advice for a failure of `kind` where there is one.
QString withFileAdvice(const QString& text, SystemError::Kind kind);
