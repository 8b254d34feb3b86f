// The state of the running exam that the window and the recording thread share. The answer
// state is where an answer is handed between them.
#pragma once

#include <atomic>
#include <cstdint>

enum class AnswerState : std::int32_t { Idle = 0, Recording = 1, StopRequested = -1 };

struct ExamSessionState {
    std::atomic<bool> examRunning{false};
    std::atomic<AnswerState> answerState{AnswerState::Idle};
};
