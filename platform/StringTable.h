// The program's string table: texts kept apart from the code so they can be edited alone (a
// resource of the executable on Windows, a table built into the program on Linux).
#pragma once

#include <QString>

enum class StringId {
    StartupNotice = 1,     // shown on every start
    MaxAnswerSeconds = 2,  // begins with the maximum answer length in seconds; 0 = no limit
};

// The text of `id`; empty for an id the table does not hold.
QString loadString(StringId id);
