#include "platform/ProcessSetup.h"

#include <csignal>

void prepareProcess() {
    // SIGXFSZ would kill the recording instead of failing the write.
    std::signal(SIGXFSZ, SIG_IGN);
}
