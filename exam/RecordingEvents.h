// What the recording thread tells the window as it records. Every call returns at once, without
// waiting for the window's thread, so a window that is busy or stalled never costs audio; the
// window hears of them later, in the order they were made.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

class RecordingEvents {
public:
    // The elapsed times a block has brought: the exam's while it runs, and that of answer number
    // `answer` (CurrentAnswer::number) while it is open.
    virtual void elapsedChanged(std::optional<std::int64_t> examSeconds, std::uint64_t answer,
                                std::optional<std::int64_t> answerSeconds) = 0;
    // The recording stopped answer `answer` by itself: its maximum length, or a lost card.
    virtual void answerStopped(std::uint64_t answer) = 0;
    // Answer `answer`'s file is closed, with all it will ever hold.
    virtual void answerClosed(std::uint64_t answer) = 0;
    virtual void writeFailed(const std::string& fileName) = 0;
    virtual void captureProblem(const QString& text) = 0;
    // News of capture that asks nothing of the organiser: the status line alone.
    virtual void captureNotice(const QString& text) = 0;

protected:
    ~RecordingEvents() = default;
};
