// The exam's start and end in the main window: prepares the chosen sound card's recording
// line, opens the ALL file and records the whole exam into it through the exam's sink.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "exam/CaptureProblemReporter.h"
#include "exam/CaptureResumer.h"
#include "exam/ExamClock.h"
#include "exam/Mp3FileSink.h"
#include "platform/KeepAwake.h"

class CaptureDevice;
class CaptureDeviceRegistry;
class EncoderLibrary;
class ExamJournal;
class ExamWindow;
class RecordingEvents;

// What an exam takes from outside the window; tests put scripted ones in place.
struct ExamServices {
    CaptureDeviceRegistry& captureDevices;
    EncoderLibrary& encoder;
    LocalClock clock;
    // Called right before capture opens the exam's card; empty for nothing.
    std::function<void(CaptureDevice&)> beforeCapture;
    // Keeps the machine awake for `reason` (UTF-8) while the hold it returns lives.
    std::function<std::unique_ptr<KeepAwake>(const std::string& reason)> keepAwake;
    // How often a lost card is looked for, one pace per exam; empty for once a second.
    std::function<std::unique_ptr<PollPace>()> resumePace = {};
};

// Lives in the window, which must outlive it, as must the events, the journal, the registry and
// the encoder library. A recording still running when it goes is stopped first.
class ExamRecording {
public:
    // `events`: where the recording thread reports, without waiting for the window.
    ExamRecording(ExamWindow& window, RecordingEvents& events, ExamJournal& journal,
                  ExamServices services);
    ~ExamRecording();
    ExamRecording(const ExamRecording&) = delete;
    ExamRecording& operator=(const ExamRecording&) = delete;

    // Buttons 1000 and 1002.
    void onStartExam();
    void onEndExam();
    // Before the process ends during an exam: stops capture, so the block in hand reaches both
    // files, and closes them. Nothing on screen changes, and the journal records no end: the
    // next start tells of the answer cut short.
    void stopBeforeExit();

private:
    void start(const std::string& deviceName, int volume);
    std::string firstLineName(CaptureDevice& device);
    void prepareRecordingLine(CaptureDevice& device, const std::string& lineName, int volume);
    // Holds the machine awake for the exam; where it cannot, says so once per run.
    void keepAwake();
    // Stops looking for a lost card and stops capture, which hands the sink the block in hand,
    // then closes the ALL file and an answer still open, and lets the machine sleep again.
    void stopCapture();

    ExamWindow& window_;
    RecordingEvents& events_;
    ExamJournal& journal_;
    ExamServices services_;
    CaptureProblemReporter reporter_;
    // The window's thread's alone: the device of the last start and the running exam's sink.
    CaptureDevice* examDevice = nullptr;
    std::unique_ptr<Mp3FileSink> examSink;
    // Owns the device's starts and stops while the exam runs.
    std::unique_ptr<CaptureResumer> resumer_;
    std::unique_ptr<KeepAwake> awake_;
    bool sleepWarned_ = false;
};
