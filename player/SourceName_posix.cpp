#include "player/SourceName.h"

std::filesystem::path sourcePath(const void* name, bool /*wideName*/) {
    return static_cast<const char*>(name);
}
