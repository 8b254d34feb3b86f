#include "platform/FolderEntries.h"

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/UniqueHandle.h"

namespace {

using SearchHandle = UniqueHandle<void, FindClose>;

// The full path with the prefix that lifts the length limit; empty when it cannot be told.
std::wstring longPathOf(const std::filesystem::path& path) {
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        return {};
    }
    full.resize(length);
    if (full.starts_with(LR"(\\?\)") || full.starts_with(LR"(\\.\)")) {
        return full;
    }
    if (full.starts_with(LR"(\\)")) {
        return LR"(\\?\UNC\)" + full.substr(2);
    }
    return LR"(\\?\)" + full;
}

}  // namespace

std::optional<FolderEntries> readFolderEntries(const std::filesystem::path& folder) {
    const std::wstring full = longPathOf(folder);
    if (full.empty()) {
        return std::nullopt;
    }
    const std::wstring pattern = full + (full.ends_with(L'\\') ? L"*" : L"\\*");
    WIN32_FIND_DATAW found{};
    HANDLE handle = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    const SearchHandle search(handle);
    FolderEntries entries;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") {
            entries.names.emplace_back(name);
        }
    } while (FindNextFileW(search.get(), &found));
    entries.complete = GetLastError() == ERROR_NO_MORE_FILES;
    return entries;
}
