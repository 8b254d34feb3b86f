#include "platform/win32/Utf8.h"

#include <windows.h>

namespace {

std::wstring wideFrom(std::string_view text, UINT codePage, DWORD flags) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (count <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), count);
    return wide;
}

}  // namespace

std::wstring wideFromUtf8(std::string_view text) {
    return wideFrom(text, CP_UTF8, 0);
}

std::string utf8FromWide(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), count, nullptr, nullptr);
    return bytes;
}

std::wstring wideFromValidUtf8(std::string_view text) {
    return wideFrom(text, CP_UTF8, MB_ERR_INVALID_CHARS);
}

std::wstring wideFromAnsi(std::string_view text) {
    return wideFrom(text, CP_ACP, 0);
}
