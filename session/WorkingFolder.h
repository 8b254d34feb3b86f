// Which folder the program works in: ppe.txt is read there and out/ made there.
#pragma once

#include <filesystem>
#include <optional>

// The folder it was started in, unless that is the program's own folder (as from Explorer) or
// one the organiser may not write, and the installer made a working folder to go to instead.
std::filesystem::path chooseWorkingFolder(const std::filesystem::path& started,
                                          const std::filesystem::path& programFolder,
                                          const std::optional<std::filesystem::path>& installed,
                                          bool startedIsWritable);

// Moves the process to the folder chooseWorkingFolder gives for where it stands now.
void enterWorkingFolder(const std::filesystem::path& programFolder);
