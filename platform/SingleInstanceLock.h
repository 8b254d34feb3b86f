// A lock by name that at most one process of the user holds at a time. The system drops it when
// the holder dies, however it dies, so a crashed recorder never blocks the next start.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/SystemError.h"

class SingleInstanceLock {
public:
    // Takes the lock `name`: a lock file in `directory` (default: the user's runtime folder) on
    // Linux, a named mutex on Windows. Unless the object holds the lock, its error() tells
    // whether another holder has it (HeldElsewhere) or no lock could be made at all.
    static SingleInstanceLock acquire(const std::string& name,
                                      const std::string& directory = defaultDirectory());

    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock& operator=(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    bool isHeld() const { return handle_ != kNoHandle; }
    const SystemError& error() const { return error_; }

    // $XDG_RUNTIME_DIR when set, else the system's temporary folder; nothing on Windows.
    static std::string defaultDirectory();

private:
    static constexpr std::intptr_t kNoHandle = -1;
    explicit SingleInstanceLock(std::intptr_t handle) : handle_(handle) {}
    explicit SingleInstanceLock(SystemError error) : error_(std::move(error)) {}
    // The system's part: lets go of the lock, if held.
    void release();

    std::intptr_t handle_ = kNoHandle;  // a descriptor, or a Windows HANDLE
    SystemError error_;
};
