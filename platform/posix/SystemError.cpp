#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

SystemError systemError(SystemError::Kind kind, long code) {
    return {kind, code, std::strerror(static_cast<int>(code))};
}

SystemError lastSystemError(SystemError::Kind kind) {
    return systemError(kind, errno);
}
