// The state of the running exam that the window and the recording thread share. The answer
// state is where an answer is handed between them.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "exam/RecordingFile.h"

enum class AnswerState : std::int32_t { Idle = 0, Recording = 1, StopRequested = -1 };

// Shared without a lock; these orderings make it safe:
// 1. allFile and examStart are set before examRunning becomes true, and examRunning becomes
//    true before capture starts and false before it stops.
// 2. answerFile and answerStart are set before answerState becomes Recording (openAnswer); the
//    sink reads answerState before it touches either.
// 3. Only the sink moves StopRequested to Idle, after it has closed answerFile; no answer is
//    opened while the state is StopRequested.
// Date-times are whole seconds since the epoch (ExamClock.h); spans are whole seconds.
struct ExamSessionState {
    std::atomic<bool> examRunning{false};
    std::atomic<std::int64_t> examStart{0};
    std::atomic<std::int64_t> examElapsed{0};
    // Written by the sink while capture runs; closed by the exam's end once capture has stopped.
    RecordingFile allFile;

    std::atomic<AnswerState> answerState{AnswerState::Idle};
    RecordingFile answerFile;
    std::atomic<std::int64_t> answerStart{0};
    std::atomic<std::int64_t> answerElapsed{0};
    std::atomic<bool> stopWithoutAsking{false};
    // Set when the sound card stopped recording during the exam: no block will close an answer.
    std::atomic<bool> captureLost{false};

    // Opens (replacing) the answer file `name` started at `start` and hands it to the sink.
    // Only while answerState is Idle. False, with the state left Idle, when it cannot be opened.
    bool openAnswer(const std::string& name, std::int64_t start) {
        if (answerState.load() != AnswerState::Idle ||
            !answerFile.open(name, RecordingFile::Mode::Replace)) {
            return false;
        }
        answerStart.store(start);
        answerState.store(AnswerState::Recording, std::memory_order_release);
        return true;
    }
};
