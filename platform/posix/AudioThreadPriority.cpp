#include "platform/AudioThreadPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

// The scheduler hands out no task; a real-time policy is set on the thread itself.
void AudioThreadPriority::endTask(void*) {}

// A real-time policy only within the limit the user already has (given by the system's
// set-up to members of an audio group, say): the program asks for no privileges.
AudioThreadPriority::AudioThreadPriority() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_RTPRIO, &limit) != 0 || limit.rlim_cur == 0) {
        return;
    }
    sched_param own{};
    if (::pthread_getschedparam(::pthread_self(), &ownPolicy_, &own) != 0) {
        return;
    }
    ownPriority_ = own.sched_priority;
    // The lowest real-time priority: above every ordinary thread, below the sound server's.
    sched_param audio{};
    audio.sched_priority = ::sched_get_priority_min(SCHED_RR);
    raised_ = ::pthread_setschedparam(::pthread_self(), SCHED_RR, &audio) == 0;
}

AudioThreadPriority::~AudioThreadPriority() {
    if (raised_) {
        sched_param own{};
        own.sched_priority = ownPriority_;
        ::pthread_setschedparam(::pthread_self(), ownPolicy_, &own);
    }
}
