// A private PulseAudio server whose default sink is a null sink, so audio tests can play and
// record sound on a machine without a sound card. Derive a gtest fixture from PulseAudioTest
// (one server per test suite), or own a PulseAudioServer yourself, before any audio call.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

class ChildProcess;

class PulseAudioServer {
public:
    static constexpr const char* kSinkName = "recorder_test_sink";
    static constexpr const char* kMonitorSourceName = "recorder_test_sink.monitor";

    // Why no server can be started here (its programs are not installed), or nothing.
    static std::optional<std::string> unavailableReason();

    // Starts the server and points this process at it through XDG_RUNTIME_DIR and
    // PULSE_SERVER, which libpulse and ALSA's "pulse" PCM both read. Throws
    // std::runtime_error, with the server's log, when it does not answer within seconds.
    PulseAudioServer();
    // Stops the server, removes its directory and puts the environment back.
    ~PulseAudioServer();

    PulseAudioServer(const PulseAudioServer&) = delete;
    PulseAudioServer& operator=(const PulseAudioServer&) = delete;

    const std::string& runtimeDir() const { return dir_; }
    // "unix:<runtime dir>/pulse/native"
    std::string address() const;
    // What the server wrote to stderr so far.
    std::string log() const;

    // Takes the sink away as if the output device had been unplugged, and brings it back as
    // the default sink with its monitor as the default source. Both throw on failure.
    void unloadNullSink();
    void loadNullSink();
    bool hasSink(const std::string& name) const;

    // Kills the server at once, as a crash would, leaving this process pointed at its address,
    // and starts a fresh one there, with the null sink. Both throw on failure.
    void kill();
    void restart();

    // Runs pactl against this server; its exit status, or -1 if it did not finish in time.
    int pactl(const std::vector<std::string>& args, std::string* output = nullptr) const;

private:
    void launch();
    void waitUntilAnswering();
    void stop();

    std::string dir_;
    std::unique_ptr<ChildProcess> process_;
    std::optional<std::string> savedRuntimeDir_;
    std::optional<std::string> savedServer_;
};

// Base for a gtest fixture: one server for the whole test suite. Tests are skipped when
// PulseAudio is not installed and fail when it is installed but does not start.
class PulseAudioTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    static PulseAudioServer& server() { return *server_; }
    static bool serverRunning() { return server_ != nullptr; }

private:
    static inline std::unique_ptr<PulseAudioServer> server_;
    static inline std::string startError_;
};

}  // namespace test_support
