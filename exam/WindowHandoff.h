// Runs other threads' updates on the window's thread and waits for each; the window's thread can
// turn them away while it waits for those threads itself, so neither waits for the other.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;

// `window` must outlive the handoff. Updates still waiting when it goes are turned away.
class WindowHandoff {
public:
    explicit WindowHandoff(QObject& window);
    ~WindowHandoff();
    WindowHandoff(const WindowHandoff&) = delete;
    WindowHandoff& operator=(const WindowHandoff&) = delete;

    // Runs `update` on the window's thread (at once when called there) and returns true once
    // it has run. Returns false without running it while updates are turned away; a call
    // waiting when they are turned away returns false then, and its update never runs.
    bool run(std::function<void()> update);

    // Window's thread only.
    void turnAway();
    void accept();

    // How many calls wait for the window's thread right now.
    std::size_t waiting() const;

private:
    struct Request {
        std::function<void()> update;
        bool started = false;
        bool done = false;
        bool abandoned = false;
    };
    struct Shared {
        mutable std::mutex mutex;
        std::condition_variable changed;
        bool accepting = true;
        std::vector<std::shared_ptr<Request>> waiting;
    };

    static void serve(Shared& shared, const std::shared_ptr<Request>& request);

    QObject& window_;
    // Shared with the queued calls, which may outlive the handoff.
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};
