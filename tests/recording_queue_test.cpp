#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "platform/RecordingQueue.h"

namespace {

// A capture device lets its queue go once the recording thread has taken the Close, while the
// thread that posted it may still be on its way out of post. Meant for ThreadSanitizer.
TEST(RecordingQueueTest, MayGoAsSoonAsItsLastMessageIsTaken) {
    auto queue = std::make_unique<RecordingQueue>();
    std::thread poster([target = queue.get()] { target->post({WaveMessage::Kind::Close}); });
    EXPECT_EQ(queue->take().kind, WaveMessage::Kind::Close);
    queue.reset();
    poster.join();
}

}  // namespace
