#include "platform/InstalledFolder.h"

#include <windows.h>

#include <string>

// Written by the installer (packaging/windows/exam-recorder.nsi) in the 64-bit view.
std::optional<std::filesystem::path> installedWorkingFolder() {
    constexpr const wchar_t* key = L"Software\\ExamRecorder";
    constexpr const wchar_t* value = L"WorkFolder";
    constexpr DWORD flags = RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY;
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, flags, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        bytes < sizeof(wchar_t)) {
        return std::nullopt;
    }
    std::wstring folder(bytes / sizeof(wchar_t), L'\0');
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, flags, nullptr, folder.data(), &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    folder.resize(wcsnlen(folder.c_str(), folder.size()));
    if (folder.empty()) {
        return std::nullopt;
    }
    return std::filesystem::path(folder);
}
