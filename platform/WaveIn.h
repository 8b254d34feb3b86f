// The wave-in operations a capture device is built on: list the devices, open one, and let it
// record into queued buffers, each handed back through the recording thread's queue.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

class RecordingQueue;

// 44.1 kHz, stereo, 16-bit: the one format the recorder captures.
constexpr std::uint32_t WAVE_FORMAT_4S16 = 0x800;
constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

// Header flags: set by the device, read by its user.
constexpr std::uint32_t WHDR_DONE = 0x01;
constexpr std::uint32_t WHDR_PREPARED = 0x02;
constexpr std::uint32_t WHDR_INQUEUE = 0x10;

enum class WaveResult {
    Ok,
    Error,
    BadDeviceId,
    BadFormat,
    Unprepared,    // a buffer queued without being prepared
    StillQueued,   // a buffer unprepared while the device still holds it
    InvalidHandle  // the device was closed already
};

struct WaveInCaps {
    std::string name;
    std::uint32_t formats = 0;  // WAVE_FORMAT_* bits
    // What tells the card apart from another of the same name, wherever the list has it (the
    // ALSA PCM, with the card's id; the system's name GUID on Windows); empty where none is.
    std::string identity{};
};

// The same card, whatever position each list gives it.
inline bool sameCard(const WaveInCaps& one, const WaveInCaps& other) {
    return one.name == other.name && one.identity == other.identity;
}

struct WaveFormat {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;

    friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

// The format a device with WAVE_FORMAT_4S16 records.
inline constexpr WaveFormat kWaveFormat4S16{WAVE_FORMAT_PCM, 2, 44'100, 176'400, 4, 16};

// One buffer of the caller's memory; the device fills it while it is queued.
struct WaveHeader {
    std::byte* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
    std::uint32_t dwFlags = 0;
};

// Where an open device hands what it records, for its level, as it reads it: 16-bit samples,
// channels interleaved, and the frames they make. Called on the device's own thread, so it must
// neither block nor allocate.
class LevelListener {
public:
    virtual void heard(std::span<const std::int16_t> samples, std::uint32_t frames) = 0;

protected:
    ~LevelListener() = default;
};

// An open device. Every call but close may come from any thread; buffers are handed back in the
// order they were queued. Destroying an open device closes it without notifying anyone.
class WaveIn {
public:
    virtual ~WaveIn() = default;

    virtual WaveResult prepareHeader(WaveHeader& header) = 0;
    virtual WaveResult unprepareHeader(WaveHeader& header) = 0;
    // The device keeps `header` until it hands it back in a Data message.
    virtual WaveResult addBuffer(WaveHeader& header) = 0;
    virtual WaveResult start() = 0;
    // Stops recording and hands back every queued buffer, the one being filled with what it
    // holds so far, before returning.
    virtual WaveResult reset() = 0;
    // Hands back whatever is still queued, then posts Close: the last message of this device.
    virtual WaveResult close() = 0;
    // Hands each stretch recorded from now on to `meter`, which must outlive the device; null
    // for nobody.
    virtual void publishLevelsTo(LevelListener* meter) = 0;
};

// Device ids are positions in the system's list of the moment: a card added or removed moves
// the others. deviceCount reads the list again; the other calls use the list it last read.
class WaveInApi {
public:
    virtual ~WaveInApi() = default;

    virtual std::uint32_t deviceCount() = 0;
    virtual WaveResult deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) = 0;
    // On success `handle` holds the open device, which has posted Open to `queue`; `queue` must
    // outlive it. On failure `handle` is left as it was and nothing is posted.
    virtual WaveResult open(std::uint32_t deviceId, const WaveFormat& format, RecordingQueue& queue,
                            std::unique_ptr<WaveIn>& handle) = 0;
    // How long after a start returns the first recorded sound may still be on its way, with
    // nothing lost: what a lost-sound watch must not count.
    virtual std::chrono::milliseconds firstSoundWithin() const {
        return std::chrono::milliseconds(500);
    }
};
