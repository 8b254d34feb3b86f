#include "support/PulseAudioServer.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/ChildProcess.h"

namespace test_support {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

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
    ChildProcess::Options options;
    options.outputFile = dir_ + "/server.log";
    // Run in the foreground so that its pid is ours to signal and reap. Tests run as root,
    // which PulseAudio allows outside system mode with a warning; it must not ask for
    // real-time scheduling on a shared machine.
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"pulseaudio", "--daemonize=no", "--system=false", "-n", "-F",
                                 dir_ + "/server.pa", "--exit-idle-time=-1", "--disallow-exit",
                                 "--realtime=no", "--high-priority=no", "--log-target=stderr"},
        options);
    if (!process_->started())
        throw std::runtime_error("cannot start pulseaudio");
    waitUntilAnswering();
}

void PulseAudioServer::kill() {
    if (!process_)
        throw std::runtime_error("the sound server is not running");
    process_->signal(SIGKILL);
    process_->wait(3000ms);
    process_.reset();
}

void PulseAudioServer::restart() {
    if (process_)
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
        if (process_->hasEnded()) {
            process_.reset();
            throw std::runtime_error("pulseaudio exited at start:\n" + log());
        }
        if (pactl({"info"}) == 0)
            return;
        std::this_thread::sleep_for(50ms);
    }
    throw std::runtime_error("pulseaudio did not answer within 10 s:\n" + log());
}

void PulseAudioServer::stop() {
    process_.reset();  // asked to end, killed if it does not
}

int PulseAudioServer::pactl(const std::vector<std::string>& args, std::string* output) const {
    std::vector<std::string> command{"pactl", "--server=" + address()};
    command.insert(command.end(), args.begin(), args.end());
    return runProgram(command, output, 5000ms);
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
