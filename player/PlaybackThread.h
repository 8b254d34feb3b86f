// Plays a stream on a thread of its own that owns its decoder and its output, so the caller
// never waits on the sound system for longer than a fixed bound.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "player/Decoder.h"
#include "player/bass.h"

// One run of a stream from its first sample to its end or to a stop request. A thread that
// does not answer in time is left to finish on its own and holds everything it uses.
class PlaybackThread {
public:
    // Null, with `error` set, when the output did not open and start within the bound.
    static std::unique_ptr<PlaybackThread> start(std::shared_ptr<const StreamSource> source,
                                                 const std::string& driver, int& error);
    PlaybackThread(const PlaybackThread&) = delete;
    PlaybackThread& operator=(const PlaybackThread&) = delete;
    // Stops the run, waiting for it a bounded time.
    ~PlaybackThread();

    // True until the last sample is handed to the output.
    bool playing() const;

private:
    enum class State { Opening, Playing, Finished };

    // What the thread and its owner share; the thread keeps it when left behind.
    struct Shared {
        std::atomic<bool> stop{false};
        std::mutex mutex;
        bool decoded = false;
        std::condition_variable changed;
        State state = State::Opening;
        int error = BASS_OK;
    };

    PlaybackThread() = default;

    static void report(Shared& shared, int error);
    static void run(Shared& shared, std::shared_ptr<const StreamSource> source,
                    const std::string& driver);

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread thread_;
};
