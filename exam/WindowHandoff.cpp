#include "exam/WindowHandoff.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <algorithm>
#include <utility>

WindowHandoff::WindowHandoff(QObject& window) : window_(window) {}

WindowHandoff::~WindowHandoff() {
    turnAway();
}

bool WindowHandoff::run(std::function<void()> update) {
    if (QThread::currentThread() == window_.thread()) {
        {
            std::lock_guard lock(shared_->mutex);
            if (!shared_->accepting) {
                return false;
            }
        }
        update();
        return true;
    }

    auto request = std::make_shared<Request>();
    request->update = std::move(update);
    std::unique_lock lock(shared_->mutex);
    if (!shared_->accepting) {
        return false;
    }
    shared_->waiting.push_back(request);
    QMetaObject::invokeMethod(
        &window_, [shared = shared_, request] { serve(*shared, request); }, Qt::QueuedConnection);
    shared_->changed.wait(lock, [&] { return request->done || request->abandoned; });
    std::erase(shared_->waiting, request);
    return request->done;
}

void WindowHandoff::serve(Shared& shared, const std::shared_ptr<Request>& request) {
    {
        std::lock_guard lock(shared.mutex);
        if (request->abandoned) {
            return;
        }
        request->started = true;
    }
    request->update();
    std::lock_guard lock(shared.mutex);
    request->done = true;
    shared.changed.notify_all();
}

void WindowHandoff::turnAway() {
    std::lock_guard lock(shared_->mutex);
    shared_->accepting = false;
    // An update already running on the window's thread is left to finish.
    for (const std::shared_ptr<Request>& request : shared_->waiting) {
        request->abandoned = request->abandoned || !request->started;
    }
    shared_->changed.notify_all();
}

void WindowHandoff::accept() {
    std::lock_guard lock(shared_->mutex);
    shared_->accepting = true;
}

std::size_t WindowHandoff::waiting() const {
    std::lock_guard lock(shared_->mutex);
    return static_cast<std::size_t>(
        std::count_if(shared_->waiting.begin(), shared_->waiting.end(),
                      [](const auto& request) { return !request->done && !request->abandoned; }));
}
