// Settings that the longer runs under tests/soak/ hand the tests through the environment.
#pragma once

#include <cstdlib>

// The whole number in `variable`, or `fallback` when it is not set.
inline int soakSetting(const char* variable, int fallback) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

// The number in `variable`, a fraction allowed, or `fallback` when it is not set.
inline double soakSetting(const char* variable, double fallback) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? std::atof(value) : fallback;
}
