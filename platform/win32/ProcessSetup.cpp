#include "platform/ProcessSetup.h"

#include <windows.h>

void prepareProcess() {
    // Libraries loaded by name come from the program's folder or the system's, never from the
    // working folder, where whatever came on a USB stick is copied.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}
