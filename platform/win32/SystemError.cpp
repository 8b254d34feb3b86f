#include "platform/SystemError.h"

#include <windows.h>

#include <string>

#include "platform/win32/Utf8.h"

SystemError systemError(SystemError::Kind kind, long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text =
        length > 0 ? std::wstring(buffer, length) : L"error " + std::to_wstring(code);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    return {kind, code, utf8FromWide(text)};
}

SystemError lastSystemError(SystemError::Kind kind) {
    return systemError(kind, static_cast<long>(GetLastError()));
}
