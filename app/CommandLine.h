// Commands the program runs from its command line without opening a window.
#pragma once

#include <optional>

// Runs the command the arguments name and returns its exit status; nothing when they name
// none, so the recorder starts as usual.
std::optional<int> runCommandLine(int argc, char* argv[]);
