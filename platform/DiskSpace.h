// Free space on the volume that holds a folder.
#pragma once

#include <cstdint>
#include <string>

// All free bytes of the volume holding `folder`, counting those reserved for the
// administrator; 0 when the volume cannot be asked.
std::uint64_t totalFreeBytes(const std::string& folder);
