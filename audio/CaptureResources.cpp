#include "audio/CaptureResources.h"

#include <new>

std::thread CaptureResources::startThread(std::function<void()> body) {
    return std::thread(std::move(body));
}

std::unique_ptr<std::byte[]> CaptureResources::allocate(std::size_t bytes) {
    return std::unique_ptr<std::byte[]>(new (std::nothrow) std::byte[bytes]());
}

CaptureResources& CaptureResources::system() {
    static CaptureResources resources;
    return resources;
}
