// A lock by name that at most one process of the user holds at a time. The system drops it when
// the holder dies, however it dies, so a crashed recorder never blocks the next start.
#pragma once

#include <cstdint>
#include <string>

class SingleInstanceLock {
public:
    // Takes the lock `name`: a lock file in `directory` (default: the user's runtime folder) on
    // Linux, a named mutex on Windows. The object
    // tells whether it holds the lock, another holder has it, or no lock could be made at all.
    static SingleInstanceLock acquire(const std::string& name,
                                      const std::string& directory = defaultDirectory());

    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock& operator=(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    enum class State { Held, HeldElsewhere, Unavailable };
    State state() const { return state_; }
    bool isHeld() const { return state_ == State::Held; }

    // $XDG_RUNTIME_DIR when set, else the system's temporary folder; nothing on Windows.
    static std::string defaultDirectory();

private:
    SingleInstanceLock(State state, std::intptr_t handle) : state_(state), handle_(handle) {}
    State state_ = State::Unavailable;
    std::intptr_t handle_ = -1;  // a descriptor, or a Windows HANDLE
};
