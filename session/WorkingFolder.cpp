#include "session/WorkingFolder.h"

#include <system_error>

#include "platform/File.h"
#include "platform/InstalledFolder.h"

namespace {

bool sameFolder(const std::filesystem::path& one, const std::filesystem::path& other) {
    std::error_code unknown;
    return std::filesystem::equivalent(one, other, unknown);
}

}  // namespace

std::filesystem::path chooseWorkingFolder(const std::filesystem::path& started,
                                          const std::filesystem::path& programFolder,
                                          const std::optional<std::filesystem::path>& installed,
                                          bool startedIsWritable) {
    if (!installed || (startedIsWritable && !sameFolder(started, programFolder))) {
        return started;
    }
    return *installed;
}

void enterWorkingFolder(const std::filesystem::path& programFolder) {
    std::error_code failed;
    const std::filesystem::path started = std::filesystem::current_path(failed);
    const std::filesystem::path chosen = chooseWorkingFolder(
        started, programFolder, installedWorkingFolder(), !failed && folderIsWritable(started));
    if (chosen != started) {
        // Where that fails too, the out folder's own check tells the organiser.
        std::filesystem::current_path(chosen, failed);
    }
}
