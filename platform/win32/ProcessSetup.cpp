#include "platform/ProcessSetup.h"

#include <windows.h>

#include <cstdio>

namespace {

bool hasHandle(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

void prepareProcess() {
    // A window program has no console of its own: the command-line modes print to the one they
    // were started from, unless their output already goes to a file or a pipe.
    if (!hasHandle(STD_OUTPUT_HANDLE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        if (!hasHandle(STD_ERROR_HANDLE)) {
            std::freopen("CONOUT$", "w", stderr);
        }
    }
    // They print UTF-8; the console shows it as such.
    SetConsoleOutputCP(CP_UTF8);
}
