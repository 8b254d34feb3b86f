#include "platform/FolderEntries.h"

#include <system_error>

std::optional<FolderEntries> readFolderEntries(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entry(folder, error);
    if (error) {
        return std::nullopt;
    }
    FolderEntries entries;
    // A failing step ends the walk and leaves `error` set.
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        entries.names.push_back(entry->path().filename());
    }
    entries.complete = !error;
    return entries;
}
