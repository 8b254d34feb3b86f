#include "platform/RecordingQueue.h"

void RecordingQueue::post(WaveMessage message) {
    // Notified under the lock: once the recording thread has taken the last message, its
    // device may destroy the queue while the poster is still returning from here.
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
    posted_.notify_one();
}

WaveMessage RecordingQueue::take() {
    std::unique_lock lock(mutex_);
    posted_.wait(lock, [this] { return !messages_.empty(); });
    WaveMessage message = messages_.front();
    messages_.pop_front();
    return message;
}
