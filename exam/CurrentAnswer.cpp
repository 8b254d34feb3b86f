#include "exam/CurrentAnswer.h"

#include "audio/RecordingFormat.h"

bool CurrentAnswer::open(const std::string& fileName, const QString& kim) {
    if (state() != AnswerState::Idle || !file_.open(fileName, RecordingFile::Mode::Replace)) {
        return false;
    }
    kim_ = kim;
    recordedFrames_ = 0;
    elapsed_.store(0);
    number_.fetch_add(1);
    state_.store(AnswerState::Recording, std::memory_order_release);
    return true;
}

std::int64_t CurrentAnswer::addRecorded(std::uint64_t frames) {
    recordedFrames_ += frames;
    const auto seconds = static_cast<std::int64_t>(recordedFrames_ / recording_format::kSampleRate);
    elapsed_.store(seconds);
    return seconds;
}

bool CurrentAnswer::requestStop() {
    AnswerState recording = AnswerState::Recording;
    return state_.compare_exchange_strong(recording, AnswerState::StopRequested,
                                          std::memory_order_acq_rel);
}

bool CurrentAnswer::write(std::span<const unsigned char> bytes) {
    const bool firstFailure = !file_.hasFailed();
    return !file_.write(bytes) && firstFailure;
}

bool CurrentAnswer::close() {
    const bool firstFailure = !file_.hasFailed();
    const bool failed = !file_.close() && firstFailure;
    state_.store(AnswerState::Idle, std::memory_order_release);
    return failed;
}
