#include "exam/CaptureResumer.h"

#include <exception>
#include <utility>

#include "audio/CaptureDevice.h"
#include "exam/CaptureProblemReporter.h"

bool SteadyPace::wait() {
    std::unique_lock lock(mutex_);
    return !stopped_.wait_for(lock, period_, [this] { return stopping_; });
}

void SteadyPace::stop() {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    stopped_.notify_all();
}

CaptureResumer::CaptureResumer(CaptureDevice& device, AudioSink& sink,
                               CaptureProblemReporter& reporter, std::function<void()> prepareLine,
                               std::unique_ptr<PollPace> pace)
    : device_(device),
      sink_(sink),
      reporter_(reporter),
      prepareLine_(std::move(prepareLine)),
      pace_(std::move(pace)),
      thread_([this] { run(); }) {}

CaptureResumer::~CaptureResumer() {
    pace_->stop();
    thread_.join();
}

void CaptureResumer::run() {
    // A failed start leaves the device idle and no longer lost: the card stays away until a
    // start succeeds.
    bool away = false;
    while (pace_->wait()) {
        away = away || device_.deviceLost();
        if (away && resume()) {
            away = false;
        }
    }
}

bool CaptureResumer::resume() {
    try {
        prepareLine_();
    } catch (const std::exception&) {
        // The line keeps what the system kept; sound matters more than its level.
    }
    // Joins the lost recording's thread, which has told of the loss and closed the answer.
    device_.stop();
    try {
        device_.start(sink_);
    } catch (const std::exception&) {
        return false;
    }
    reporter_.onCaptureBack(device_);
    return true;
}
