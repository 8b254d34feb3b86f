#include "exam/CurrentAnswer.h"

#include "audio/RecordingFormat.h"

bool CurrentAnswer::open(const std::string& fileName, const QString& kim,
                         File::FolderSync syncFolder) {
    if (state() != AnswerState::Idle ||
        !file_.open(fileName, RecordingFile::Mode::Replace, syncFolder)) {
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

WriteResult CurrentAnswer::close() {
    const WriteResult result = file_.close();
    state_.store(AnswerState::Idle, std::memory_order_release);
    return result;
}
