// What a capture device takes from the system besides its wave-in device: a recording thread
// and its buffer block. Tests derive from it to make either fail.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

class CaptureResources {
public:
    virtual ~CaptureResources() = default;

    // Runs `body` on a new thread; throws std::system_error when none can be made.
    virtual std::thread startThread(std::function<void()> body);
    // Zeroed memory, or null when there is none to be had.
    virtual std::unique_ptr<std::byte[]> allocate(std::size_t bytes);

    // The real thing, for the life of the process.
    static CaptureResources& system();
};
