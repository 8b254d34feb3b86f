// MP3 playback over libmpg123 (decoding) and libout123 (PulseAudio, else ALSA; winmm on
// Windows).
//
// Every stream plays on a thread of its own that owns its decoder and its output handle, so
// the caller never waits on the sound system for longer than a fixed bound: a thread that
// does not answer in time is left to finish on its own and holds everything it uses.

#include "bass.h"
#include "SourceFile.h"

#include <mpg123.h>
#include <out123.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// How long a caller may wait for the sound system to open or let go of a device.
constexpr auto kOpenBound = std::chrono::seconds(4);
constexpr auto kStopBound = std::chrono::seconds(2);
// Small writes keep a stop request from waiting behind a long blocking out123_play.
constexpr int kChunksPerSecond = 50;
// Time allowed after the last decoded sample for the sound server to play it out: with the
// stream's default buffering, PulseAudio may hold up to two seconds in the device.
constexpr auto kTailGuard = std::chrono::milliseconds(2500);
#ifdef _WIN32
constexpr const char* kDrivers = "win32";
#else
constexpr const char* kDrivers = "pulse,alsa";
#endif
constexpr long kProbeRate = 44100;

thread_local int t_lastError = BASS_OK;

BOOL fail(int code) {
    t_lastError = code;
    return 0;
}

BOOL succeed() {
    t_lastError = BASS_OK;
    return 1;
}

// The byte range of an open file that holds the MP3 data.
struct Source {
    SourceFile file;
    off_t begin;
    off_t end;
};

struct Mpg123Deleter {
    void operator()(mpg123_handle* h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Deleter>;

struct Out123Deleter {
    void operator()(out123_handle* h) const { out123_del(h); }
};
using Out123Ptr = std::unique_ptr<out123_handle, Out123Deleter>;

struct AudioFormat {
    long rate = 0;
    int channels = 0;
    int encoding = 0;

    bool operator==(const AudioFormat&) const = default;
    size_t frameBytes() const { return static_cast<size_t>(channels) * 2; }
};

class Decoder {
public:
    static std::unique_ptr<Decoder> open(std::shared_ptr<const Source> source) {
        static std::once_flag once;
        std::call_once(once, [] { mpg123_init(); });

        auto decoder = std::unique_ptr<Decoder>(new Decoder(std::move(source)));
        int err = MPG123_OK;
        decoder->handle_.reset(mpg123_new(nullptr, &err));
        mpg123_handle* mh = decoder->handle_.get();
        if (!mh)
            return nullptr;
        mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
        // Signed 16-bit at the file's own rate and channel count: every output takes it.
        mpg123_format_none(mh);
        const long* rates = nullptr;
        size_t rateCount = 0;
        mpg123_rates(&rates, &rateCount);
        for (size_t i = 0; i < rateCount; ++i)
            mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
        if (mpg123_replace_reader_handle(mh, &Decoder::read, &Decoder::seek, nullptr) !=
                MPG123_OK ||
            mpg123_open_handle(mh, decoder.get()) != MPG123_OK)
            return nullptr;
        return decoder;
    }

    mpg123_handle* handle() const { return handle_.get(); }

    std::optional<AudioFormat> format() const {
        AudioFormat f;
        if (mpg123_getformat(handle_.get(), &f.rate, &f.channels, &f.encoding) != MPG123_OK)
            return std::nullopt;
        return f;
    }

    // mpg123 skips junk to find a frame header, so a text file can look like a stream until
    // something actually decodes.
    bool decodesAFrame() {
        for (int attempt = 0; attempt < 8; ++attempt) {
            off_t frame = 0;
            unsigned char* audio = nullptr;
            size_t bytes = 0;
            int rc = mpg123_decode_frame(handle_.get(), &frame, &audio, &bytes);
            if (rc == MPG123_OK && bytes > 0)
                return true;
            if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT)
                return false;
        }
        return false;
    }

private:
    explicit Decoder(std::shared_ptr<const Source> source) : source_(std::move(source)) {}

    static mpg123_ssize_t read(void* self, void* buffer, size_t size) {
        auto* d = static_cast<Decoder*>(self);
        off_t left = d->source_->end - d->position_;
        size_t want = std::min(size, static_cast<size_t>(std::max<off_t>(left, 0)));
        const int64_t got =
            d->source_->file.readAt(buffer, want, static_cast<uint64_t>(d->position_));
        if (got > 0)
            d->position_ += static_cast<off_t>(got);
        return static_cast<mpg123_ssize_t>(got);
    }

    static off_t seek(void* self, off_t offset, int whence) {
        auto* d = static_cast<Decoder*>(self);
        off_t base = whence == SEEK_SET   ? d->source_->begin
                     : whence == SEEK_CUR ? d->position_
                     : whence == SEEK_END ? d->source_->end
                                          : -1;
        if (base < 0 || base + offset < d->source_->begin) {
            errno = EINVAL;
            return -1;
        }
        d->position_ = base + offset;
        return d->position_ - d->source_->begin;
    }

    std::shared_ptr<const Source> source_;
    off_t position_ = source_->begin;
    // Declared last so it is closed before the reader state above goes away.
    Mpg123Ptr handle_;
};

bool isOneOfOurDrivers(std::string_view name) {
    std::string_view rest = kDrivers;
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        if (rest.substr(0, comma) == name)
            return true;
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return false;
}

// out123_open reports every failure as a bad driver; tell a missing output module (nothing
// to be done but install it) from a device that would not open.
int bassErrorForOpen(out123_handle* out) {
    if (out123_errcode(out) == OUT123_DOOM)
        return BASS_ERROR_MEM;
    char** names = nullptr;
    char** descriptions = nullptr;
    int count = 0;
    {
#if defined(__SANITIZE_ADDRESS__)
        // The listing loads and unloads every output module; libout123 and the sound libraries
        // some modules pull in keep a little memory each time, which is theirs, not ours.
        const __lsan::ScopedDisabler theirLeaks;
#endif
        count = out123_drivers(out, &names, &descriptions);
    }
    bool installed = false;
    for (int i = 0; i < count; ++i)
        installed = installed || isOneOfOurDrivers(names[i]);
    if (count > 0)
        out123_stringlists_free(names, descriptions, count);
    return installed ? BASS_ERROR_DEVICE : BASS_ERROR_DRIVER;
}

Out123Ptr newOutput(int& error) {
    Out123Ptr out(out123_new());
    if (!out) {
        error = BASS_ERROR_MEM;
        return nullptr;
    }
    // Not OUT123_QUIET: quiet, the ALSA module installs ALSA's process-wide error handler in its
    // own code and leaves it there when the module is unloaded, so the host's next ALSA error
    // message (a sound server that does not answer, say) jumps into unmapped memory.
    // Honoured by the ALSA module only; the PulseAudio one keeps the server's default.
    out123_param_float(out.get(), OUT123_DEVICEBUFFER, 0.2);
    return out;
}

// Runs f on a thread of its own and waits for it at most `bound`. A thread still running
// then is left behind: f must own everything it touches.
template <typename R, typename F>
std::optional<R> runWithin(std::chrono::milliseconds bound, F f) {
    struct Shared {
        std::mutex m;
        std::condition_variable cv;
        std::optional<R> result;
    };
    auto shared = std::make_shared<Shared>();
    std::thread worker([shared, f = std::move(f)]() mutable {
        R r = f();
        std::lock_guard lock(shared->m);
        shared->result = std::move(r);
        shared->cv.notify_all();
    });
    std::unique_lock lock(shared->m);
    if (!shared->cv.wait_for(lock, bound, [&] { return shared->result.has_value(); })) {
        worker.detach();
        return std::nullopt;
    }
    lock.unlock();
    worker.join();
    return std::move(shared->result);
}

struct ProbeResult {
    int error = BASS_OK;
    std::string driver;
};

ProbeResult probeOutput() {
    ProbeResult result;
    Out123Ptr out = newOutput(result.error);
    if (!out)
        return result;
    if (out123_open(out.get(), kDrivers, nullptr) != OUT123_OK) {
        result.error = bassErrorForOpen(out.get());
        return result;
    }
    char* driver = nullptr;
    if (out123_driver_info(out.get(), &driver, nullptr) == OUT123_OK && driver)
        result.driver = driver;
    if (out123_start(out.get(), kProbeRate, 2, MPG123_ENC_SIGNED_16) != OUT123_OK) {
        result.error = BASS_ERROR_FORMAT;
        return result;
    }
    out123_drop(out.get());
    return result;
}

// One run of a stream from its first sample to its end or to a stop request.
class Playback {
public:
    static std::unique_ptr<Playback> start(std::shared_ptr<const Source> source,
                                           const std::string& driver, int& error) {
        auto playback = std::unique_ptr<Playback>(new Playback);
        auto shared = playback->shared_;
        playback->thread_ = std::thread([shared, source = std::move(source), driver] {
            run(*shared, source, driver);
            std::lock_guard lock(shared->m);
            shared->state = State::Finished;
            shared->cv.notify_all();
        });
        std::unique_lock lock(shared->m);
        bool answered =
            shared->cv.wait_for(lock, kOpenBound, [&] { return shared->state != State::Opening; });
        if (!answered || shared->error != BASS_OK) {
            error = answered ? shared->error : BASS_ERROR_START;
            return nullptr;
        }
        return playback;
    }

    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    ~Playback() {
        shared_->stop = true;
        std::unique_lock lock(shared_->m);
        bool finished = shared_->cv.wait_for(lock, kStopBound,
                                             [&] { return shared_->state == State::Finished; });
        lock.unlock();
        if (finished)
            thread_.join();
        else
            thread_.detach();
    }

    // True until the last sample is handed to the output.
    bool playing() const {
        std::lock_guard lock(shared_->m);
        return !shared_->stop && !shared_->decoded && shared_->state == State::Playing;
    }

private:
    enum class State { Opening, Playing, Finished };

    struct Shared {
        std::atomic<bool> stop{false};
        std::mutex m;
        bool decoded = false;
        std::condition_variable cv;
        State state = State::Opening;
        int error = BASS_OK;
    };

    Playback() = default;

    static void report(Shared& shared, int error) {
        std::lock_guard lock(shared.m);
        shared.error = error;
        shared.state = error == BASS_OK ? State::Playing : State::Finished;
        shared.cv.notify_all();
    }

    static void run(Shared& shared, std::shared_ptr<const Source> source,
                    const std::string& driver) {
        auto decoder = Decoder::open(std::move(source));
        std::optional<AudioFormat> format;
        if (!decoder || !(format = decoder->format()))
            return report(shared, BASS_ERROR_FILEFORM);
        int error = BASS_OK;
        Out123Ptr out = newOutput(error);
        if (!out)
            return report(shared, error);
        if (out123_open(out.get(), driver.c_str(), nullptr) != OUT123_OK)
            return report(shared, bassErrorForOpen(out.get()));
        if (out123_start(out.get(), format->rate, format->channels, format->encoding) != OUT123_OK)
            return report(shared, BASS_ERROR_START);
        report(shared, BASS_OK);

        size_t frameBytes = format->frameBytes();
        std::vector<unsigned char> chunk(frameBytes *
                                         static_cast<size_t>(format->rate / kChunksPerSecond));
        const Clock::time_point started = Clock::now();
        uint64_t framesWritten = 0;
        bool outputFailed = false;
        while (!shared.stop && !outputFailed) {
            size_t got = 0;
            int rc = mpg123_read(decoder->handle(), chunk.data(), chunk.size(), &got);
            if (got > 0) {
                outputFailed = out123_play(out.get(), chunk.data(), got) < got;
                framesWritten += got / frameBytes;
            }
            if (rc == MPG123_NEW_FORMAT) {
                // Joined files of another rate or layout; the recorder never writes them.
                std::optional<AudioFormat> next = decoder->format();
                if (!next || !(*next == *format))
                    break;
            } else if (rc != MPG123_OK) {
                break;  // the end, or damage past which we play nothing
            }
        }

        {
            std::lock_guard lock(shared.m);
            shared.decoded = true;
        }
        // The server starts only once its buffer is full and a drain cannot be interrupted by
        // a stop, so feed silence until the written audio has had its time.
        auto playedOut = started +
                         std::chrono::microseconds(framesWritten * 1000000 /
                                                   static_cast<uint64_t>(format->rate)) +
                         kTailGuard;
        std::fill(chunk.begin(), chunk.end(), 0);
        while (!shared.stop && !outputFailed && Clock::now() < playedOut)
            outputFailed = out123_play(out.get(), chunk.data(), chunk.size()) < chunk.size();
        out123_drop(out.get());
    }

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread thread_;
};

struct Stream {
    std::mutex m;
    std::shared_ptr<const Source> source;
    std::unique_ptr<Playback> playback;
    bool freed = false;
};

class Player {
public:
    static Player& instance() {
        static Player player;
        return player;
    }

    BOOL init() {
        std::lock_guard lock(initMutex_);
        if (ready_)
            return fail(BASS_ERROR_ALREADY);
        std::optional<ProbeResult> probe = runWithin<ProbeResult>(kOpenBound, probeOutput);
        if (!probe)
            return fail(BASS_ERROR_DEVICE);
        if (probe->error != BASS_OK)
            return fail(probe->error);
        driver_ = probe->driver.empty() ? kDrivers : probe->driver;
        ready_ = true;
        return succeed();
    }

    std::optional<std::string> driver() {
        std::lock_guard lock(initMutex_);
        if (!ready_)
            return std::nullopt;
        return driver_;
    }

    HSTREAM add(std::shared_ptr<Stream> stream) {
        std::lock_guard lock(streamsMutex_);
        do {
            ++lastHandle_;
        } while (lastHandle_ == 0 || streams_.count(lastHandle_));
        streams_.emplace(lastHandle_, std::move(stream));
        return lastHandle_;
    }

    std::shared_ptr<Stream> find(DWORD handle) {
        std::lock_guard lock(streamsMutex_);
        auto it = streams_.find(handle);
        return it == streams_.end() ? nullptr : it->second;
    }

    std::shared_ptr<Stream> take(DWORD handle) {
        std::lock_guard lock(streamsMutex_);
        auto it = streams_.find(handle);
        if (it == streams_.end())
            return nullptr;
        auto stream = std::move(it->second);
        streams_.erase(it);
        return stream;
    }

private:
    Player() = default;

    std::mutex initMutex_;
    bool ready_ = false;
    std::string driver_;

    std::mutex streamsMutex_;
    std::map<HSTREAM, std::shared_ptr<Stream>> streams_;
    HSTREAM lastHandle_ = 0;
};

}  // namespace

extern "C" {

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* dsguid) {
    (void)freq;
    (void)flags;
    (void)win;
    (void)dsguid;
    if (device != -1 && device != 1)
        return fail(BASS_ERROR_ILLPARAM);
    return Player::instance().init();
}

int BASS_ErrorGetCode(void) {
    return t_lastError;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    Player& player = Player::instance();
    if (!player.driver())
        return fail(BASS_ERROR_INIT);
    if (mem || !file)
        return fail(BASS_ERROR_ILLPARAM);

    std::optional<SourceFile> opened = SourceFile::open(file, (flags & BASS_UNICODE) != 0);
    if (!opened)
        return fail(BASS_ERROR_FILEOPEN);
    const QWORD size = opened->size();
    if (offset > size)
        return fail(BASS_ERROR_ILLPARAM);
    QWORD end = length == 0 ? size : std::min(size, offset + length);

    auto source = std::make_shared<Source>(
        Source{std::move(*opened), static_cast<off_t>(offset), static_cast<off_t>(end)});
    auto decoder = Decoder::open(source);
    if (!decoder)
        return fail(BASS_ERROR_MEM);
    if (!decoder->decodesAFrame())
        return fail(BASS_ERROR_FILEFORM);

    auto stream = std::make_shared<Stream>();
    stream->source = std::move(source);
    HSTREAM handle = player.add(std::move(stream));
    succeed();
    return handle;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    Player& player = Player::instance();
    std::shared_ptr<Stream> stream = player.find(handle);
    if (!stream)
        return fail(BASS_ERROR_HANDLE);
    std::optional<std::string> driver = player.driver();
    if (!driver)
        return fail(BASS_ERROR_INIT);

    std::lock_guard lock(stream->m);
    if (stream->freed)
        return fail(BASS_ERROR_HANDLE);
    if (stream->playback && stream->playback->playing() && !restart)
        return succeed();
    stream->playback.reset();
    int error = BASS_OK;
    stream->playback = Playback::start(stream->source, *driver, error);
    return stream->playback ? succeed() : fail(error);
}

BOOL BASS_StreamFree(HSTREAM handle) {
    std::shared_ptr<Stream> stream = Player::instance().take(handle);
    if (!stream)
        return fail(BASS_ERROR_HANDLE);
    std::lock_guard lock(stream->m);
    stream->freed = true;
    stream->playback.reset();
    return succeed();
}

}  // extern "C"
