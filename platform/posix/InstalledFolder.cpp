#include "platform/InstalledFolder.h"

// A Linux package leaves the working folder to whoever starts the program.
std::optional<std::filesystem::path> installedWorkingFolder() {
    return std::nullopt;
}
