// The calling thread lifted to the priority the system keeps for audio while the object lives,
// so that a busy machine's other work does not keep a recording thread waiting.
#pragma once

#include "platform/UniqueHandle.h"

// Made and destroyed on the thread it lifts: what the system changes belongs to that thread.
// Where the system refuses, the thread runs on as it was. Never throws.
class AudioThreadPriority {
public:
    AudioThreadPriority();
    ~AudioThreadPriority();
    AudioThreadPriority(const AudioThreadPriority&) = delete;
    AudioThreadPriority& operator=(const AudioThreadPriority&) = delete;

    // Whether the thread got a priority above its own.
    bool raised() const { return raised_; }

private:
    // The system's part: ends the task its scheduler runs the thread as.
    static void endTask(void* task);

    UniqueHandle<void, endTask> task_;  // where the system's scheduler gave one
    // Else the thread's own scheduling, to go back to.
    int ownPolicy_ = 0;
    int ownPriority_ = 0;
    bool raised_ = false;
};
