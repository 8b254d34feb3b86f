// The names in one folder, read through the system's own calls: on Windows a folder of any path
// length (the C library's folder walk there stops at 260 characters).
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

struct FolderEntries {
    std::vector<std::filesystem::path> names;  // names only, without "." and ".."
    bool complete = true;                      // false when the walk failed part way
};

// What `folder` holds; nothing when it cannot be opened.
std::optional<FolderEntries> readFolderEntries(const std::filesystem::path& folder);
