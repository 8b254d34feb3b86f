#include "support/PulseAudioServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace test_support {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

pid_t spawn(const std::vector<std::string>& args, SpawnActions& actions) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

// Waits for the child at most `bound`; kills it when it takes longer. Its exit status, or -1.
int reap(pid_t pid, std::chrono::milliseconds bound) {
    auto deadline = Clock::now() + bound;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(10ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a program with its stdout and stderr going to `output` (or nowhere).
int run(const std::vector<std::string>& args, std::string* output,
        std::chrono::milliseconds bound) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    Fd readEnd(fds[0]);
    Fd writeEnd(fds[1]);
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), 1);
    posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), 2);
    pid_t pid = spawn(args, actions);
    writeEnd.reset();
    if (pid < 0)
        return -1;

    auto deadline = Clock::now() + bound;
    char buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms)
            break;
        pollfd p{readEnd.get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (output)
            output->append(buffer, static_cast<size_t>(got));
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return reap(pid, std::max(left, 0ms));
}

std::optional<std::string> getEnv(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void restoreEnv(const char* name, const std::optional<std::string>& value) {
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

}  // namespace

std::optional<std::string> PulseAudioServer::unavailableReason() {
    for (const char* program : {"pulseaudio", "pactl"}) {
        if (!onPath(program))
            return std::string(program) +
                   " is not installed (Debian packages pulseaudio and pulseaudio-utils)";
    }
    return std::nullopt;
}

PulseAudioServer::PulseAudioServer() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pulse-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a directory for the sound server");
    dir_ = pattern;

    {
        std::ofstream script(dir_ + "/server.pa");
        // Anonymous access: the socket sits in a directory only we can enter, and no cookie
        // gets written to the home directory.
        script << "load-module module-native-protocol-unix auth-anonymous=1"
                  " auth-cookie-enabled=0\n"
               << "load-module module-null-sink sink_name=" << kSinkName << "\n"
               << "set-default-sink " << kSinkName << "\n"
               << "set-default-source " << kMonitorSourceName << "\n";
    }

    savedRuntimeDir_ = getEnv("XDG_RUNTIME_DIR");
    savedServer_ = getEnv("PULSE_SERVER");
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    ::setenv("PULSE_SERVER", address().c_str(), 1);

    try {
        launch();
    } catch (...) {
        stop();
        restoreEnv("XDG_RUNTIME_DIR", savedRuntimeDir_);
        restoreEnv("PULSE_SERVER", savedServer_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        throw;
    }
}

void PulseAudioServer::launch() {
    SpawnActions actions;
    std::string logPath = dir_ + "/server.log";
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.get(), 1, logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(actions.get(), 1, 2);
    // Run in the foreground so that its pid is ours to signal and reap. Tests run as root,
    // which PulseAudio allows outside system mode with a warning; it must not ask for
    // real-time scheduling on a shared machine.
    pid_ = spawn({"pulseaudio", "--daemonize=no", "--system=false", "-n", "-F", dir_ + "/server.pa",
                  "--exit-idle-time=-1", "--disallow-exit", "--realtime=no", "--high-priority=no",
                  "--log-target=stderr"},
                 actions);
    if (pid_ < 0)
        throw std::runtime_error("cannot start pulseaudio");
    waitUntilAnswering();
}

void PulseAudioServer::kill() {
    if (pid_ < 0)
        throw std::runtime_error("the sound server is not running");
    ::kill(pid_, SIGKILL);
    reap(pid_, 3000ms);
    pid_ = -1;
}

void PulseAudioServer::restart() {
    if (pid_ >= 0)
        throw std::runtime_error("the sound server is still running");
    launch();
}

PulseAudioServer::~PulseAudioServer() {
    stop();
    restoreEnv("XDG_RUNTIME_DIR", savedRuntimeDir_);
    restoreEnv("PULSE_SERVER", savedServer_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string PulseAudioServer::address() const {
    return "unix:" + dir_ + "/pulse/native";
}

std::string PulseAudioServer::log() const {
    std::ifstream in(dir_ + "/server.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void PulseAudioServer::waitUntilAnswering() {
    auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("pulseaudio exited at start:\n" + log());
        }
        if (pactl({"info"}) == 0)
            return;
        std::this_thread::sleep_for(50ms);
    }
    throw std::runtime_error("pulseaudio did not answer within 10 s:\n" + log());
}

void PulseAudioServer::stop() {
    if (pid_ < 0)
        return;
    ::kill(pid_, SIGTERM);
    reap(pid_, 3000ms);  // escalates to SIGKILL
    pid_ = -1;
}

int PulseAudioServer::pactl(const std::vector<std::string>& args, std::string* output) const {
    std::vector<std::string> command{"pactl", "--server=" + address()};
    command.insert(command.end(), args.begin(), args.end());
    return run(command, output, 5000ms);
}

bool PulseAudioServer::hasSink(const std::string& name) const {
    std::string listing;
    if (pactl({"list", "short", "sinks"}, &listing) != 0)
        throw std::runtime_error("pactl list failed: " + listing);
    std::stringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        std::stringstream fields(line);
        std::string index, sink;
        if (fields >> index >> sink && sink == name)
            return true;
    }
    return false;
}

void PulseAudioServer::unloadNullSink() {
    std::string output;
    if (pactl({"unload-module", "module-null-sink"}, &output) != 0 || hasSink(kSinkName))
        throw std::runtime_error("cannot unload the null sink: " + output);
}

void PulseAudioServer::loadNullSink() {
    std::string output;
    if (pactl({"load-module", "module-null-sink", std::string("sink_name=") + kSinkName},
              &output) != 0 ||
        pactl({"set-default-sink", kSinkName}, &output) != 0 ||
        pactl({"set-default-source", kMonitorSourceName}, &output) != 0)
        throw std::runtime_error("cannot load the null sink: " + output);
}

void PulseAudioTest::SetUpTestSuite() {
    startError_.clear();
    if (PulseAudioServer::unavailableReason())
        return;
    try {
        server_ = std::make_unique<PulseAudioServer>();
    } catch (const std::exception& e) {
        startError_ = e.what();
    }
}

void PulseAudioTest::TearDownTestSuite() {
    server_.reset();
}

void PulseAudioTest::SetUp() {
    if (std::optional<std::string> reason = PulseAudioServer::unavailableReason())
        GTEST_SKIP() << "no sound server for this test: " << *reason;
    ASSERT_TRUE(server_) << "the private PulseAudio server did not start: " << startError_;
}

}  // namespace test_support
