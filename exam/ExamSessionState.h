// The state of the running exam that the window and the recording thread share: the exam's file
// and times, and the answer being recorded.
#pragma once

#include <atomic>
#include <cstdint>

#include "exam/CaptureGapWatch.h"
#include "exam/CurrentAnswer.h"
#include "exam/RecordingFile.h"

// Shared without a lock; these orderings make it safe:
// 1. allFile is set before examRunning becomes true, and examRunning becomes
//    true before capture starts and false before it stops.
// 2. The answer is handed over through its state (CurrentAnswer.h).
// Spans are whole seconds of the sound recorded.
struct ExamSessionState {
    std::atomic<bool> examRunning{false};
    std::atomic<std::int64_t> examElapsed{0};
    // Written by the sink while capture runs; closed by the exam's end once capture has stopped.
    RecordingFile allFile;

    CurrentAnswer answer;
    // Set when the recording stopped the answer by itself; cleared by the record step.
    std::atomic<bool> stopWithoutAsking{false};
    // Set when the sound card stopped recording during the exam: no block will close an answer.
    std::atomic<bool> captureLost{false};
    // The sound received against the clock; restarted by each exam's sink.
    CaptureGapWatch gaps;

    // The window's thread's alone. How a new recording's folder is put on the disk (tests fail
    // it), and whether a failure of that has been told.
    File::FolderSync syncFolder = &File::syncFolderOf;
    bool folderSyncTold = false;
};
