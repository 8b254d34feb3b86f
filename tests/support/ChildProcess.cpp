#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>

extern char** environ;

namespace test_support {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// `changes` (NAME=value) and every variable of this process that they leave unchanged.
std::vector<std::string> environmentWith(const std::vector<std::string>& changes) {
    std::vector<std::string> entries = changes;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view name(*entry, std::strcspn(*entry, "=") + 1);
        if (std::none_of(changes.begin(), changes.end(),
                         [&](const std::string& change) { return change.starts_with(name); })) {
            entries.emplace_back(*entry);
        }
    }
    return entries;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& args) : ChildProcess(args, Options()) {}

ChildProcess::ChildProcess(const std::vector<std::string>& args, const Options& options) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!options.outputFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, options.outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    } else if (options.outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, options.outputFd, 1);
        posix_spawn_file_actions_adddup2(&actions, options.outputFd, 2);
    }
    std::vector<std::string> arguments = args;
    std::vector<std::string> environment = environmentWith(options.environment);
    const std::vector<char*> argv = pointersTo(arguments);
    const std::vector<char*> envp = pointersTo(environment);
    if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (started() && !hasEnded()) {
        signal(SIGTERM);
        wait(3s);
    }
}

bool ChildProcess::hasEnded() {
    int status = 0;
    if (!status_ && started() && ::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
    }
    return status_.has_value() || !started();
}

int ChildProcess::wait(std::chrono::milliseconds bound) {
    for (const auto giveUp = Clock::now() + bound; !hasEnded();) {
        if (Clock::now() >= giveUp) {
            signal(SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            status_ = status;
            return -1;
        }
        std::this_thread::sleep_for(10ms);
    }
    return status_ && WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1;
}

void ChildProcess::signal(int number) {
    if (started() && !status_) {
        ::kill(pid_, number);
    }
}

int ChildProcess::endingSignal() const {
    return status_ && WIFSIGNALED(*status_) ? WTERMSIG(*status_) : 0;
}

int runProgram(const std::vector<std::string>& args, std::string* output,
               std::chrono::milliseconds bound) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return -1;
    }
    ChildProcess::Options options;
    options.outputFd = fds[1];
    ChildProcess program(args, options);
    ::close(fds[1]);
    const auto giveUp = Clock::now() + bound;
    char buffer[4096];
    for (auto left = bound; program.started() && left > 0ms;
         left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now())) {
        pollfd readable{fds[0], POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        if (output != nullptr) {
            output->append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fds[0]);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now());
    return program.wait(std::max(left, 0ms));
}

}  // namespace test_support
