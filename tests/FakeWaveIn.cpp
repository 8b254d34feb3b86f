#include "FakeWaveIn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

namespace {
constexpr auto kBound = std::chrono::seconds(10);
}

class FakeWaveIn::OpenDevice : public WaveIn {
public:
    explicit OpenDevice(FakeWaveIn& fake) : fake_(fake) {}
    WaveResult prepareHeader(WaveHeader& header) override { return fake_.prepare(header); }
    WaveResult unprepareHeader(WaveHeader& header) override { return fake_.unprepare(header); }
    WaveResult addBuffer(WaveHeader& header) override { return fake_.add(header); }
    WaveResult start() override { return fake_.start(); }
    WaveResult reset() override { return fake_.reset(); }
    WaveResult close() override { return fake_.close(); }
    void publishLevelsTo(LevelListener* meter) override {
        std::lock_guard lock(fake_.mutex_);
        fake_.meter_ = meter;
    }

private:
    FakeWaveIn& fake_;
};

void FakeWaveIn::fail(FakeStep step) {
    std::lock_guard lock(mutex_);
    failing_.insert(step);
}

void FakeWaveIn::succeed(FakeStep step) {
    std::lock_guard lock(mutex_);
    failing_.erase(step);
}

void FakeWaveIn::failClose(int times) {
    std::lock_guard lock(mutex_);
    closeFailures_ = times;
}

void FakeWaveIn::deferOpenUntilReset(bool defer) {
    std::lock_guard lock(mutex_);
    deferOpen_ = defer;
}

void FakeWaveIn::holdRequeueUntilReset(bool hold) {
    std::lock_guard lock(mutex_);
    holdRequeue_ = hold;
}

void FakeWaveIn::onReset(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    onReset_ = std::move(hook);
}

std::size_t FakeWaveIn::record(std::span<const std::byte> bytes) {
    std::lock_guard lock(mutex_);
    while (started_ && !bytes.empty() && !queued_.empty()) {
        WaveHeader& header = *queued_.front();
        const std::size_t taken =
            std::min<std::size_t>(bytes.size(), header.dwBufferLength - header.dwBytesRecorded);
        std::memcpy(header.lpData + header.dwBytesRecorded, bytes.data(), taken);
        publishLevels(bytes.first(taken));
        header.dwBytesRecorded += static_cast<std::uint32_t>(taken);
        bytes = bytes.subspan(taken);
        if (header.dwBytesRecorded == header.dwBufferLength) {
            handBackFirst();
        }
    }
    return bytes.size();
}

void FakeWaveIn::report(WaveMessage::Kind problem, std::uint32_t lostFrames) {
    std::lock_guard lock(mutex_);
    if (queue_ != nullptr) {
        queue_->post({problem, nullptr, lostFrames});
    }
}

bool FakeWaveIn::waitUntilQueued(std::size_t buffers) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kBound, [&] { return queued_.size() >= buffers; });
}

bool FakeWaveIn::waitUntilRequeueHeld() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kBound, [&] { return requeueHeld_; });
}

std::vector<std::string> FakeWaveIn::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void FakeWaveIn::clearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

std::size_t FakeWaveIn::queuedCount() const {
    std::lock_guard lock(mutex_);
    return queued_.size();
}

int FakeWaveIn::deviceCountCalls() const {
    std::lock_guard lock(mutex_);
    return deviceCountCalls_;
}

std::string FakeWaveIn::openedName() const {
    std::lock_guard lock(mutex_);
    return openedName_;
}

std::uint32_t FakeWaveIn::deviceCount() {
    std::lock_guard lock(mutex_);
    ++deviceCountCalls_;
    return static_cast<std::uint32_t>(devices.size());
}

WaveResult FakeWaveIn::deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) {
    std::lock_guard lock(mutex_);
    if (deviceId >= devices.size()) {
        return WaveResult::BadDeviceId;
    }
    if (devices[deviceId].capsFail) {
        return WaveResult::Error;
    }
    caps = {devices[deviceId].name, devices[deviceId].formats, devices[deviceId].identity};
    return WaveResult::Ok;
}

WaveResult FakeWaveIn::open(std::uint32_t deviceId, const WaveFormat&, RecordingQueue& queue,
                            std::unique_ptr<WaveIn>& handle) {
    std::lock_guard lock(mutex_);
    EXPECT_EQ(queue_, nullptr) << "opened while open";
    if (!devicesAtOpen.empty()) {
        devices = std::exchange(devicesAtOpen, {});
    }
    if (deviceId >= devices.size() || !log("open", FakeStep::Open)) {
        return WaveResult::Error;
    }
    queue_ = &queue;
    openedName_ = devices[deviceId].name;
    meter_ = nullptr;
    openPending_ = true;
    started_ = resetSeen_ = requeueHeld_ = false;
    adds_ = 0;
    numbers_.clear();
    if (!deferOpen_) {
        postPendingOpen();
    }
    handle = std::make_unique<OpenDevice>(*this);
    return WaveResult::Ok;
}

WaveResult FakeWaveIn::prepare(WaveHeader& header) {
    std::lock_guard lock(mutex_);
    const int number = numberOf(header);
    if (!log("prepare " + std::to_string(number),
             number == 1 ? FakeStep::Prepare1 : FakeStep::Prepare2)) {
        return WaveResult::Error;
    }
    header.dwFlags |= WHDR_PREPARED;
    return WaveResult::Ok;
}

WaveResult FakeWaveIn::unprepare(WaveHeader& header) {
    std::lock_guard lock(mutex_);
    const std::string call = "unprepare " + std::to_string(numberOf(header));
    if ((header.dwFlags & WHDR_INQUEUE) != 0) {
        calls_.push_back(call + " still queued");
        return WaveResult::StillQueued;
    }
    calls_.push_back(call);
    header.dwFlags &= ~WHDR_PREPARED;
    return WaveResult::Ok;
}

WaveResult FakeWaveIn::add(WaveHeader& header) {
    std::unique_lock lock(mutex_);
    const std::string number = std::to_string(numberOf(header));
    const bool requeue = ++adds_ > 2;
    if (requeue && holdRequeue_ && !resetSeen_) {
        requeueHeld_ = true;
        changed_.notify_all();
        EXPECT_TRUE(changed_.wait_for(lock, kBound, [&] { return resetSeen_; }));
        holdRequeue_ = false;
    }
    const bool ok =
        requeue ? log("requeue " + number, FakeStep::Requeue)
                : log("add " + number, number == "1" ? FakeStep::AddBuffer1 : FakeStep::AddBuffer2);
    if (!ok) {
        return WaveResult::Error;
    }
    if ((header.dwFlags & WHDR_PREPARED) == 0) {
        ADD_FAILURE() << "buffer " << number << " queued unprepared";
        return WaveResult::Unprepared;
    }
    header.dwBytesRecorded = 0;
    header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    queued_.push_back(&header);
    changed_.notify_all();
    return WaveResult::Ok;
}

WaveResult FakeWaveIn::start() {
    std::lock_guard lock(mutex_);
    if (!log("start", FakeStep::Start)) {
        return WaveResult::Error;
    }
    started_ = true;
    return WaveResult::Ok;
}

WaveResult FakeWaveIn::reset() {
    std::function<void()> hook;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back("reset");
        postPendingOpen();
        started_ = false;
        while (!queued_.empty()) {
            handBackFirst();
        }
        resetSeen_ = true;
        changed_.notify_all();
        hook = onReset_;
    }
    if (hook) {
        hook();
    }
    return WaveResult::Ok;
}

WaveResult FakeWaveIn::close() {
    std::lock_guard lock(mutex_);
    if (closeFailures_ > 0) {
        --closeFailures_;
        calls_.push_back("close failed");
        return WaveResult::Error;
    }
    calls_.push_back("close");
    postPendingOpen();
    while (!queued_.empty()) {
        handBackFirst();
    }
    queue_->post({WaveMessage::Kind::Close});
    queue_ = nullptr;
    started_ = false;
    return WaveResult::Ok;
}

bool FakeWaveIn::log(const std::string& call, FakeStep step) {
    const bool fails = failing_.count(step) != 0;
    calls_.push_back(fails ? call + " failed" : call);
    return !fails;
}

int FakeWaveIn::numberOf(const WaveHeader& header) {
    return numbers_.emplace(&header, static_cast<int>(numbers_.size()) + 1).first->second;
}

void FakeWaveIn::handBackFirst() {
    WaveHeader* header = queued_.front();
    queued_.erase(queued_.begin());
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    queue_->post({WaveMessage::Kind::Data, header});
    changed_.notify_all();
}

void FakeWaveIn::publishLevels(std::span<const std::byte> bytes) {
    constexpr std::size_t kPeriodBytes = 4410 * 4;
    while (meter_ != nullptr && bytes.size() >= 4) {
        const std::size_t length = std::min(bytes.size(), kPeriodBytes) / 4 * 4;
        std::vector<std::int16_t> samples(length / 2);
        std::memcpy(samples.data(), bytes.data(), length);
        meter_->heard(samples, static_cast<std::uint32_t>(length / 4));
        bytes = bytes.subspan(length);
    }
}

void FakeWaveIn::postPendingOpen() {
    if (openPending_) {
        openPending_ = false;
        queue_->post({WaveMessage::Kind::Open});
    }
}
