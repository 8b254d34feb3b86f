// A hold that keeps the machine from sleeping (on a closed lid too, where the system lets a
// program prevent that) and the screen from blanking for as long as it lives.
#pragma once

#include <memory>
#include <string>

// The system drops the hold with the process, however the process ends.
class KeepAwake {
public:
    virtual ~KeepAwake() = default;
    KeepAwake(const KeepAwake&) = delete;
    KeepAwake& operator=(const KeepAwake&) = delete;
    // Whether the system granted any of it; false where nobody was there to ask, or all refused.
    virtual bool holds() const = 0;

protected:
    KeepAwake() = default;
};

// Takes the system's hold; `reason` (UTF-8) is what the desktop may show for it. Never throws,
// and waits at most a few seconds for services that answer slowly. Window's thread only: the
// hold is let go on the thread that took it.
std::unique_ptr<KeepAwake> keepSystemAwake(const std::string& reason);
