#include "base/ProcessExit.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

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
    std::exit(status);
}

ExitHandler setExitHandler(ExitHandler handler) {
    return std::exchange(currentHandler(), std::move(handler));
}
