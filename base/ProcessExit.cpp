#include "base/ProcessExit.h"

#include <cstdio>
#include <utility>

#include "platform/ProcessEnd.h"

namespace {

ExitHandler& currentHandler() {
    static ExitHandler handler;
    return handler;
}

}  // namespace

void exitProcess(int status) {
    if (currentHandler()) {
        currentHandler()(status);
    }
    std::fflush(nullptr);
    endProcessNow(status);
}

ExitHandler setExitHandler(ExitHandler handler) {
    return std::exchange(currentHandler(), std::move(handler));
}
