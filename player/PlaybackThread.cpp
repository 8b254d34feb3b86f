#include "player/PlaybackThread.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "player/Output.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long a caller may wait for the sound system to let go of a device.
constexpr auto kStopBound = std::chrono::seconds(2);
// Small writes keep a stop request from waiting behind a long blocking out123_play.
constexpr int kChunksPerSecond = 50;
// Time allowed after the last decoded sample for the sound server to play it out: with the
// stream's default buffering, PulseAudio may hold up to two seconds in the device.
constexpr auto kTailGuard = std::chrono::milliseconds(2500);

}  // namespace

std::unique_ptr<PlaybackThread> PlaybackThread::start(std::shared_ptr<const StreamSource> source,
                                                      const std::string& driver, int& error) {
    auto playback = std::unique_ptr<PlaybackThread>(new PlaybackThread);
    auto shared = playback->shared_;
    playback->thread_ = std::thread([shared, source = std::move(source), driver] {
        run(*shared, source, driver);
        const std::lock_guard lock(shared->mutex);
        shared->state = State::Finished;
        shared->changed.notify_all();
    });
    std::unique_lock lock(shared->mutex);
    const bool answered =
        shared->changed.wait_for(lock, kOpenBound, [&] { return shared->state != State::Opening; });
    if (!answered || shared->error != BASS_OK) {
        error = answered ? shared->error : BASS_ERROR_START;
        return nullptr;
    }
    return playback;
}

PlaybackThread::~PlaybackThread() {
    shared_->stop = true;
    std::unique_lock lock(shared_->mutex);
    const bool finished = shared_->changed.wait_for(
        lock, kStopBound, [&] { return shared_->state == State::Finished; });
    lock.unlock();
    if (finished) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

bool PlaybackThread::playing() const {
    const std::lock_guard lock(shared_->mutex);
    return !shared_->stop && !shared_->decoded && shared_->state == State::Playing;
}

void PlaybackThread::report(Shared& shared, int error) {
    const std::lock_guard lock(shared.mutex);
    shared.error = error;
    shared.state = error == BASS_OK ? State::Playing : State::Finished;
    shared.changed.notify_all();
}

void PlaybackThread::run(Shared& shared, std::shared_ptr<const StreamSource> source,
                         const std::string& driver) {
    const std::unique_ptr<Decoder> decoder = Decoder::open(std::move(source));
    std::optional<AudioFormat> format;
    if (!decoder || !(format = decoder->format())) {
        return report(shared, BASS_ERROR_FILEFORM);
    }
    int error = BASS_OK;
    const Output output = newOutput(error);
    if (!output) {
        return report(shared, error);
    }
    if (out123_open(output.get(), driver.c_str(), nullptr) != OUT123_OK) {
        return report(shared, errorForOpen(output.get()));
    }
    if (out123_start(output.get(), format->rate, format->channels, format->encoding) != OUT123_OK) {
        return report(shared, BASS_ERROR_START);
    }
    report(shared, BASS_OK);

    const std::size_t frameBytes = format->frameBytes();
    std::vector<unsigned char> chunk(frameBytes *
                                     static_cast<std::size_t>(format->rate / kChunksPerSecond));
    const Clock::time_point started = Clock::now();
    std::uint64_t framesWritten = 0;
    bool outputFailed = false;
    while (!shared.stop && !outputFailed) {
        std::size_t got = 0;
        const int result = mpg123_read(decoder->handle(), chunk.data(), chunk.size(), &got);
        if (got > 0) {
            outputFailed = out123_play(output.get(), chunk.data(), got) < got;
            framesWritten += got / frameBytes;
        }
        if (result == MPG123_NEW_FORMAT) {
            // Joined files of another rate or layout; the recorder never writes them.
            const std::optional<AudioFormat> next = decoder->format();
            if (!next || !(*next == *format)) {
                break;
            }
        } else if (result != MPG123_OK) {
            break;  // the end, or damage past which we play nothing
        }
    }

    {
        const std::lock_guard lock(shared.mutex);
        shared.decoded = true;
    }
    // The server starts only once its buffer is full and a drain cannot be interrupted by a
    // stop, so feed silence until the written audio has had its time.
    const Clock::time_point playedOut =
        started +
        std::chrono::microseconds(framesWritten * 1000000 /
                                  static_cast<std::uint64_t>(format->rate)) +
        kTailGuard;
    std::fill(chunk.begin(), chunk.end(), 0);
    while (!shared.stop && !outputFailed && Clock::now() < playedOut) {
        outputFailed = out123_play(output.get(), chunk.data(), chunk.size()) < chunk.size();
    }
    out123_drop(output.get());
}
