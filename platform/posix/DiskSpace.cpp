#include "platform/DiskSpace.h"

#include <sys/statvfs.h>

std::uint64_t totalFreeBytes(const std::string& folder) {
    struct statvfs volume {};
    if (::statvfs(folder.c_str(), &volume) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(volume.f_bfree) * volume.f_frsize;
}

std::uint64_t availableBytes(const std::string& folder) {
    struct statvfs volume {};
    if (::statvfs(folder.c_str(), &volume) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
}
