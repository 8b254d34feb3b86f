#include "platform/DesktopViewer.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

bool openInDesktopViewer(const std::filesystem::path& document) {
    // The shell's "open", as "start" does: the viewer registered for .htm files.
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", document.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}
