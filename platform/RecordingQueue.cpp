#include "platform/RecordingQueue.h"

void RecordingQueue::post(WaveMessage message) {
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }
    posted_.notify_one();
}

WaveMessage RecordingQueue::take() {
    std::unique_lock lock(mutex_);
    posted_.wait(lock, [this] { return !messages_.empty(); });
    WaveMessage message = messages_.front();
    messages_.pop_front();
    return message;
}
