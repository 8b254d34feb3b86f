#include "platform/ProcessSetup.h"

#include <windows.h>

void prepareProcess() {
    // The command-line modes print UTF-8; the console shows it as such.
    SetConsoleOutputCP(CP_UTF8);
}
