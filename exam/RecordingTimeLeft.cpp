#include "exam/RecordingTimeLeft.h"

#include "audio/RecordingFormat.h"

std::int64_t recordingSecondsLeft(std::uint64_t freeBytes, bool answerOpen) {
    // Each open recording writes the MP3 stream once.
    const std::uint64_t rate = recording_format::kMp3BytesPerSecond * (answerOpen ? 2 : 1);
    return static_cast<std::int64_t>(freeBytes / rate);
}

TimeLeftWarnings::Warning TimeLeftWarnings::update(std::int64_t secondsLeft) {
    if (secondsLeft < std::int64_t{5} * 60 && !warned5_) {
        warned5_ = warned30_ = true;
        return Warning::Below5Minutes;
    }
    if (secondsLeft < std::int64_t{30} * 60 && !warned30_) {
        warned30_ = true;
        return Warning::Below30Minutes;
    }
    return Warning::None;
}

void TimeLeftWarnings::reset() {
    warned30_ = warned5_ = false;
}
