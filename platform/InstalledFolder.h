// The working folder the installer made for every account on the computer, where the program
// records when it is started somewhere it should not write.
#pragma once

#include <filesystem>
#include <optional>

// Nothing when the program was not installed (or the system has no installer, as on Linux).
std::optional<std::filesystem::path> installedWorkingFolder();
