#include "platform/ProcessEnd.h"

#include <windows.h>

#include <cstdlib>

void endProcessNow(int status) {
    // Not ExitProcess (nor _Exit, which calls it): that runs every library's detach code after
    // the other threads have been stopped wherever they stood, holding whatever locks they held.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    std::_Exit(status);
}
