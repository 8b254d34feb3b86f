// Bounds a wait that must end: a test whose statement hangs ends the test program with a
// message, since a hung thread cannot be undone and a hung test binary reports nothing.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <future>
#include <semaphore>
#include <thread>

// Runs `action` on a thread of its own and returns (or rethrows) what it did, unless it takes
// longer than `bound`.
template <typename Action>
void returnsWithin(std::chrono::seconds bound, const char* what, Action&& action) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread runner([&] {
        try {
            action();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    if (finished.wait_for(bound) == std::future_status::timeout) {
        std::fprintf(stderr, "\n%s did not return within %lld s: giving up on the tests\n", what,
                     static_cast<long long>(bound.count()));
        std::fflush(stderr);
        std::abort();
    }
    runner.join();
    finished.get();
}

// For a statement that must run where it is (the window's thread, say): ends the test program
// when the guard is not gone within `bound` of its making.
class HangGuard {
public:
    explicit HangGuard(const char* what, std::chrono::seconds bound = std::chrono::seconds(60))
        : thread_([this, what, bound] {
              if (!done_.try_acquire_for(bound)) {
                  std::fprintf(stderr, "\n%s hung: giving up on the tests\n", what);
                  std::fflush(stderr);
                  std::abort();
              }
          }) {}
    ~HangGuard() {
        done_.release();
        thread_.join();
    }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

private:
    std::binary_semaphore done_{0};
    std::thread thread_;
};
