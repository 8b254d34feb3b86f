// The exam's audio sink: encodes each block once into the ALL file and, while an answer is open,
// the answer file; keeps the elapsed times shown and stops an answer at the maximum length.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "audio/AudioSink.h"
#include "audio/Mp3Stream.h"
#include "exam/ExamClock.h"

class EncoderLibrary;
class ExamWindowUpdates;
class RecordingFile;
struct ExamSessionState;

// The sink's close of a stopped answer: closes the answer file, returns answerState to Idle
// and enables listening. On the recording thread, between blocks, while the state is
// StopRequested.
void closeStoppedAnswer(ExamSessionState& session, ExamWindowUpdates& window);

// One per exam, never reused. The session state and the window must outlive it; it must live
// until the capture device's stop() has returned. It holds no files: it writes those of the
// session state.
class Mp3FileSink final : public AudioSink {
public:
    // 128 kbit/s, 44,100 Hz in and out. Throws what Mp3Stream throws.
    Mp3FileSink(ExamSessionState& session, ExamWindowUpdates& window, LocalClock clock,
                std::int32_t maxAnswerSeconds, EncoderLibrary& library);

    void onAudioData(const void* data, std::uint32_t byteCount) override;

private:
    void writeTo(RecordingFile& file, std::span<const unsigned char> bytes);

    ExamSessionState& session_;
    ExamWindowUpdates& window_;
    const LocalClock clock_;
    const std::int32_t maxAnswerSeconds_;
    Mp3Stream stream_;
    std::vector<unsigned char> output_;  // sized once: nothing is allocated per block
    bool encoderFailureReported_ = false;
};
