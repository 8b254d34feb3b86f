// MP3 playback over libmpg123 (decoding) and libout123 (the output): the library's C calls and
// the table of the streams they hand out.

#include "player/bass.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/File.h"
#include "player/Decoder.h"
#include "player/Output.h"
#include "player/PlaybackThread.h"
#include "player/SourceName.h"

namespace {

thread_local int t_lastError = BASS_OK;

BOOL fail(int code) {
    t_lastError = code;
    return 0;
}

BOOL succeed() {
    t_lastError = BASS_OK;
    return 1;
}

// A handle the library gave out: its source, and the run playing it if any.
struct Stream {
    std::mutex mutex;
    std::shared_ptr<const StreamSource> source;
    std::unique_ptr<PlaybackThread> playback;
    bool freed = false;
};

// The process's one player: the output found by initialisation, and the streams by handle.
// Every call may come from any thread.
class Player {
public:
    static Player& instance() {
        static Player player;
        return player;
    }

    BOOL init() {
        const std::lock_guard lock(initMutex_);
        if (ready_) {
            return fail(BASS_ERROR_ALREADY);
        }
        const std::optional<ProbeResult> probe = probeOutputWithin(kOpenBound);
        if (!probe) {
            return fail(BASS_ERROR_DEVICE);
        }
        if (probe->error != BASS_OK) {
            return fail(probe->error);
        }
        driver_ = probe->driver;
        ready_ = true;
        return succeed();
    }

    std::optional<std::string> driver() {
        const std::lock_guard lock(initMutex_);
        if (!ready_) {
            return std::nullopt;
        }
        return driver_;
    }

    HSTREAM add(std::shared_ptr<Stream> stream) {
        const std::lock_guard lock(streamsMutex_);
        do {
            ++lastHandle_;
        } while (lastHandle_ == 0 || streams_.contains(lastHandle_));
        streams_.emplace(lastHandle_, std::move(stream));
        return lastHandle_;
    }

    std::shared_ptr<Stream> find(DWORD handle) {
        const std::lock_guard lock(streamsMutex_);
        const auto found = streams_.find(handle);
        return found == streams_.end() ? nullptr : found->second;
    }

    std::shared_ptr<Stream> take(DWORD handle) {
        const std::lock_guard lock(streamsMutex_);
        auto taken = streams_.extract(handle);
        return taken.empty() ? nullptr : std::move(taken.mapped());
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

BOOL BASS_Init(int device, DWORD /*freq*/, DWORD /*flags*/, void* /*win*/, const void* /*dsguid*/) {
    if (device != -1 && device != 1) {
        return fail(BASS_ERROR_ILLPARAM);
    }
    return Player::instance().init();
}

int BASS_ErrorGetCode(void) {
    return t_lastError;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    Player& player = Player::instance();
    if (!player.driver()) {
        return fail(BASS_ERROR_INIT);
    }
    if (mem != 0 || file == nullptr) {
        return fail(BASS_ERROR_ILLPARAM);
    }

    File opened =
        File::open(sourcePath(file, (flags & BASS_UNICODE) != 0), File::Access::ReadThroughLinks);
    if (!opened.isOpen() || opened.size() < 0) {
        return fail(BASS_ERROR_FILEOPEN);
    }
    // The size when opened: a file that grows later plays as far as it was.
    const auto size = static_cast<QWORD>(opened.size());
    if (offset > size) {
        return fail(BASS_ERROR_ILLPARAM);
    }
    const QWORD end = length == 0 ? size : std::min(size, offset + length);

    auto source = std::make_shared<const StreamSource>(
        std::move(opened), static_cast<off_t>(offset), static_cast<off_t>(end));
    const std::unique_ptr<Decoder> decoder = Decoder::open(source);
    if (!decoder) {
        return fail(BASS_ERROR_MEM);
    }
    if (!decoder->decodesAFrame()) {
        return fail(BASS_ERROR_FILEFORM);
    }

    auto stream = std::make_shared<Stream>();
    stream->source = std::move(source);
    const HSTREAM handle = player.add(std::move(stream));
    succeed();
    return handle;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    Player& player = Player::instance();
    const std::shared_ptr<Stream> stream = player.find(handle);
    if (!stream) {
        return fail(BASS_ERROR_HANDLE);
    }
    const std::optional<std::string> driver = player.driver();
    if (!driver) {
        return fail(BASS_ERROR_INIT);
    }

    const std::lock_guard lock(stream->mutex);
    if (stream->freed) {
        return fail(BASS_ERROR_HANDLE);
    }
    if (stream->playback && stream->playback->playing() && restart == 0) {
        return succeed();
    }
    stream->playback.reset();
    int error = BASS_OK;
    stream->playback = PlaybackThread::start(stream->source, *driver, error);
    return stream->playback ? succeed() : fail(error);
}

BOOL BASS_StreamFree(HSTREAM handle) {
    const std::shared_ptr<Stream> stream = Player::instance().take(handle);
    if (!stream) {
        return fail(BASS_ERROR_HANDLE);
    }
    const std::lock_guard lock(stream->mutex);
    stream->freed = true;
    stream->playback.reset();
    return succeed();
}

}  // extern "C"
