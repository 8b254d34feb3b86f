// A file descriptor that one thread makes readable to wake another out of poll().
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

class Wakeup {
public:
    Wakeup() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Wakeup() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void signal() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
    }
    void clear() {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(fd_, &count, sizeof count);
    }

private:
    int fd_;
};
