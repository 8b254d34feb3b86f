// An error raised by the audio classes. It carries only a pointer to a static message text,
// which what() returns.
#pragma once

#include <exception>

class AudioError : public std::exception {
public:
    explicit AudioError(const char* message) noexcept : message_(message) {}
    const char* what() const noexcept override { return message_; }

private:
    const char* message_;
};
