#include "platform/ProcessEnd.h"

#include <cstdlib>

void endProcessNow(int status) {
    std::_Exit(status);
}
