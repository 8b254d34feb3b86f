// A program a test starts: standard input from /dev/null, this process's environment with some
// variables put in or changed, its output to a file or a descriptor (or where ours goes). The
// one way the tests start other programs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

class ChildProcess {
public:
    struct Options {
        std::vector<std::string> environment;  // NAME=value, replacing this process's NAME
        std::string outputFile;                // standard output and error appended here
        int outputFd = -1;                     // or written to this descriptor
    };

    explicit ChildProcess(const std::vector<std::string>& args);
    ChildProcess(const std::vector<std::string>& args, const Options& options);
    // Still running: asked to end (SIGTERM), killed after 3 s, and reaped.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Whether it has ended; never waits.
    bool hasEnded();
    // Waits at most `bound` for its end, then kills it. Its exit status; -1 when a signal
    // ended it or it did not start.
    int wait(std::chrono::milliseconds bound = std::chrono::minutes(10));
    void signal(int number);
    // The signal that ended it, or 0.
    int endingSignal() const;

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Runs a program to its end, at most `bound`, its standard output and error into `output`
// (or nowhere). Its exit status, or -1.
int runProgram(const std::vector<std::string>& args, std::string* output = nullptr,
               std::chrono::milliseconds bound = std::chrono::seconds(60));

}  // namespace test_support
