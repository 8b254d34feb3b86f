#include "platform/ConsoleText.h"

#include <io.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/win32/Utf8.h"

namespace {

HANDLE consoleOf(std::FILE* stream) {
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the C library keeps handles as integers
    const auto console = reinterpret_cast<HANDLE>(handle);
    DWORD mode = 0;
    return handle != -1 && GetConsoleMode(console, &mode) ? console : nullptr;
}

}  // namespace

void writeTextLine(std::FILE* stream, std::string_view utf8) {
    const HANDLE console = consoleOf(stream);
    if (console == nullptr) {
        std::fwrite(utf8.data(), 1, utf8.size(), stream);
        std::fputc('\n', stream);
        // Lines on stdout and stderr reach a file or a pipe in the order they were written.
        std::fflush(stream);
        return;
    }
    // The console's own code page stays as the user set it: the text goes as UTF-16.
    std::fflush(stream);
    const std::wstring text = wideFromUtf8(utf8) + L"\n";
    std::wstring_view rest = text;
    while (!rest.empty()) {
        DWORD written = 0;
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 16384));
        if (!WriteConsoleW(console, rest.data(), wanted, &written, nullptr) || written == 0) {
            return;
        }
        rest.remove_prefix(written);
    }
}
