// The answer being recorded, from the record step that opens its file to its close: by the
// block after its stop, by the exam's end, or when the sound card is lost.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "exam/RecordingFile.h"

enum class AnswerState : std::int32_t { Idle = 0, Recording = 1, StopRequested = -1 };

// The state is where the window's thread and the recording thread hand the answer over:
// - open: the window's thread, only while Idle; the file, its name and its number are set, and
//   its length emptied, before the state becomes Recording.
// - requestStop: any thread; Recording becomes StopRequested in one step, so a stop never lands
//   on an answer that is being closed.
// - write, addRecorded and close: the thread that holds a non-Idle answer: the recording thread
//   while capture runs, the window's thread once capture has stopped. Only close makes the
//   answer Idle, after its file is closed.
// - fileName, kim, number and writtenCompletely: the window's thread, and the holder of a
//   non-Idle answer; writtenCompletely is final once the answer is Idle.
class CurrentAnswer {
public:
    // Opens (replacing) `fileName`, the answer of KIM number `kim`, as the next answer. False,
    // with nothing changed, while an answer is open or when the file cannot be made.
    bool open(const std::string& fileName, const QString& kim,
              File::FolderSync syncFolder = &File::syncFolderOf);
    // False when the answer was not Recording: stopped already, or closed.
    bool requestStop();
    AnswerState state() const { return state_.load(std::memory_order_acquire); }

    // Appends one block.
    WriteResult write(std::span<const unsigned char> bytes) { return file_.write(bytes); }
    // Closes the file and makes the answer Idle.
    WriteResult close();

    // Counts `frames` more of sound written to the file; the answer's length in whole seconds.
    std::int64_t addRecorded(std::uint64_t frames);
    // The answer's length when its last block was written, in whole seconds of sound.
    std::int64_t elapsed() const { return elapsed_.load(); }

    const std::string& fileName() const { return file_.name(); }
    // Of the last open (RecordingFile).
    const SystemError& openError() const { return file_.openError(); }
    const SystemError& folderSyncError() const { return file_.folderSyncError(); }
    const QString& kim() const { return kim_; }
    // 1 for the first answer opened, then one more for each; 0 before any.
    std::uint64_t number() const { return number_.load(); }
    bool writtenCompletely() const { return !file_.hasFailed(); }

private:
    std::atomic<AnswerState> state_{AnswerState::Idle};
    RecordingFile file_;
    QString kim_;
    std::uint64_t recordedFrames_ = 0;  // the holder's
    std::atomic<std::int64_t> elapsed_{0};
    std::atomic<std::uint64_t> number_{0};
};
