// Free space on the volume that holds a folder.
#pragma once

#include <cstdint>
#include <string>

// All free bytes of the volume holding `folder`, counting those reserved for the
// administrator; 0 when the volume cannot be asked.
std::uint64_t totalFreeBytes(const std::string& folder);

// The free bytes of that volume that an ordinary user may still write (those reserved for the
// administrator left out): what the recordings can actually take. 0 when it cannot be asked.
std::uint64_t availableBytes(const std::string& folder);
