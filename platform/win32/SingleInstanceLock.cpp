#include "platform/SingleInstanceLock.h"

#include <windows.h>

#include <utility>

#include "platform/win32/Utf8.h"

// A named mutex of the session: the system closes it with its last handle, so a crashed
// recorder never blocks the next start. `directory` has no meaning here.
SingleInstanceLock SingleInstanceLock::acquire(const std::string& name, const std::string&) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, wideFromUtf8(name).c_str());
    if (mutex == nullptr) {
        return SingleInstanceLock(lastSystemError());
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        const SystemError error = lastSystemError(SystemError::Kind::HeldElsewhere);
        CloseHandle(mutex);
        return SingleInstanceLock(error);
    }
    return SingleInstanceLock(reinterpret_cast<std::intptr_t>(mutex));
}

void SingleInstanceLock::release() {
    if (handle_ != kNoHandle) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the handle is kept as an integer
        CloseHandle(reinterpret_cast<HANDLE>(std::exchange(handle_, kNoHandle)));
    }
}

std::string SingleInstanceLock::defaultDirectory() {
    return {};
}
