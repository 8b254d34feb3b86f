#include "player/SourceName.h"

#include <string>

#include "platform/win32/Utf8.h"

std::filesystem::path sourcePath(const void* name, bool wideName) {
    if (wideName) {
        return static_cast<const wchar_t*>(name);
    }
    const auto* bytes = static_cast<const char*>(name);
    const std::wstring wide = wideFromValidUtf8(bytes);
    return wide.empty() ? wideFromAnsi(bytes) : wide;
}
