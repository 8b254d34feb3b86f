#include "platform/DiskSpace.h"

#include <windows.h>

#include "platform/win32/Utf8.h"

namespace {

struct FreeSpace {
    std::uint64_t forUser = 0;
    std::uint64_t total = 0;
};

FreeSpace freeSpaceOf(const std::string& folder) {
    ULARGE_INTEGER forUser{};
    ULARGE_INTEGER size{};
    ULARGE_INTEGER total{};
    if (!GetDiskFreeSpaceExW(wideFromUtf8(folder).c_str(), &forUser, &size, &total)) {
        return {};
    }
    return {forUser.QuadPart, total.QuadPart};
}

}  // namespace

std::uint64_t totalFreeBytes(const std::string& folder) {
    return freeSpaceOf(folder).total;
}

std::uint64_t availableBytes(const std::string& folder) {
    // Quotas, not an administrator's reserve, are what an ordinary user meets here.
    return freeSpaceOf(folder).forUser;
}
