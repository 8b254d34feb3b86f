// Runs a statement that should fail with an audio error and gives that error's text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "audio/AudioError.h"

// The AudioError text `statement` throws, or "" with a failure when it throws nothing.
template <typename Statement>
std::string audioErrorOf(Statement&& statement) {
    try {
        statement();
    } catch (const AudioError& error) {
        return error.what();
    }
    ADD_FAILURE() << "expected an AudioError";
    return {};
}
