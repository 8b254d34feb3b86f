#include "platform/SingleInstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <utility>

SingleInstanceLock SingleInstanceLock::acquire(const std::string& name,
                                               const std::string& directory) {
    const std::string path = (std::filesystem::path(directory) / (name + ".lock")).string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return SingleInstanceLock(lastSystemError());
    }
    // flock belongs to the open file, so the kernel releases it when the process dies.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const SystemError error = lastSystemError(
            errno == EWOULDBLOCK ? SystemError::Kind::HeldElsewhere : SystemError::Kind::Other);
        ::close(fd);
        return SingleInstanceLock(error);
    }
    return SingleInstanceLock(static_cast<std::intptr_t>(fd));
}

void SingleInstanceLock::release() {
    if (handle_ != kNoHandle) {
        ::close(static_cast<int>(std::exchange(handle_, kNoHandle)));
    }
}

std::string SingleInstanceLock::defaultDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0' && ::access(runtime, W_OK) == 0) {
        return runtime;
    }
    return std::filesystem::temp_directory_path().string();
}
