// The longest answer the organiser allows: string 2 of the program's resources, or the value
// that the settings file sets in its place on a system whose programs are configured so.
#pragma once

#include <QString>
#include <cstdint>

struct LongestAnswer {
    std::int32_t seconds = 0;  // 0 or less: no limit
    QString problem;           // why the settings file's value was not taken; empty if it was
};

// The settings file's `maxAnswerSeconds` when `settingsFile` is named and sets it, read as
// string 2 is read; otherwise string 2.
LongestAnswer readLongestAnswer(const QString& settingsFile);

// The first settings file found in the system's configuration folders; empty when none.
QString systemSettingsFile();
