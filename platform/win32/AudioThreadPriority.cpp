#include "platform/AudioThreadPriority.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <avrt.h>

void AudioThreadPriority::endTask(void* task) {
    AvRevertMmThreadCharacteristics(task);
}

// The multimedia class scheduler runs an "Audio" task above every normal thread, within the
// share of the processor it keeps for such tasks; where its service is off or refuses the
// task, time-critical is the highest priority a normal process may give a thread.
AudioThreadPriority::AudioThreadPriority() {
    DWORD taskIndex = 0;
    task_.reset(AvSetMmThreadCharacteristicsW(L"Audio", &taskIndex));
    if (task_) {
        raised_ = true;
        return;
    }
    ownPriority_ = GetThreadPriority(GetCurrentThread());
    raised_ = ownPriority_ != THREAD_PRIORITY_ERROR_RETURN &&
              SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

AudioThreadPriority::~AudioThreadPriority() {
    if (raised_ && !task_) {
        SetThreadPriority(GetCurrentThread(), ownPriority_);
    }
}
