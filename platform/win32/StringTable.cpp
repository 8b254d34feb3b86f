#include <windows.h>

#include "platform/StringTable.h"

// The program's string table is a resource of its executable, so it can be edited there.
QString loadString(StringId id) {
    const wchar_t* text = nullptr;
    // A buffer size of 0 hands back a pointer into the resource itself.
    const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id),
                                   reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        return {};
    }
    return QString::fromWCharArray(text, length);
}
