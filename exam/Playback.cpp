#include "exam/Playback.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QWidget>
#include <future>
#include <thread>
#include <utility>

#include "base/MessageBox.h"
#include "exam/AnswerRecordingTable.h"
#include "exam/ExamSessionState.h"
#include "exam/ExamWindow.h"
#include "platform/SystemNames.h"

namespace {

const QString kBoxCaption = QStringLiteral("Buf playback");

}  // namespace

Playback::Playback(ExamWindow& window, PlaybackPlayer* library, FallbackFactory makeFallback)
    : window_(window), library_(library), makeFallback_(std::move(makeFallback)) {
    timer_.setInterval(1000);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { onTimer(); });
}

template <typename Call>
auto Playback::besideWindow(Call call) {
    std::packaged_task<decltype(call())()> task(std::move(call));
    auto result = task.get_future();
    QEventLoop waiting;
    std::thread player([&] {
        task();
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Clicks wait until the player has answered; paints and the recording's reports do not.
    waiting.exec(QEventLoop::ExcludeUserInputEvents);
    player.join();
    return result.get();
}

void Playback::onListen() {
    const std::string fileName = window_.session().answer.fileName();
    std::unique_ptr<PlaybackPlayer> fallback;
    PlaybackPlayer* playing = startPlayer(fileName, fallback);

    // Counted from here, so a player slow to start does not eat into the countdown.
    timer_.start();
    playbackCountdown_ = static_cast<int>(window_.session().answer.elapsed());
    showMessage(window_.boxOwner(), QStringLiteral("Проигрывание последней записи\n\n"),
                kBoxCaption, MessageIcon::Information, MessageButtons::Ok);

    playbackCountdown_ = 0;
    applyAnswerControls(AnswerStep::PlaybackEnded, window_);
    playbackBox_ = nullptr;
    if (playing == library_) {
        besideWindow([this] {
            library_->stop();
            return true;
        });
    } else if (playing != nullptr) {
        playing->stop();
    }
}

PlaybackPlayer* Playback::startPlayer(const std::string& fileName,
                                      std::unique_ptr<PlaybackPlayer>& fallback) {
    if (bassAvailable_ && library_ != nullptr) {
        // The code belongs to the library's thread: read with the failure it explains.
        const auto [playing, errorCode] = besideWindow([this, &fileName] {
            const bool started = library_->play(fileName);
            return std::pair(started, started ? 0 : library_->errorCode());
        });
        if (playing) {
            return library_;
        }
        const QString question = QString::asprintf(
            "Ошибка проигрывания MP3 через %s, код ошибки - %d\n\nИспользование "
            "встроенный %sпроигрыватель?",
            playerLibraryFileName, errorCode, systemPlayerQualifier);
        // No plays nothing this time and leaves the library to be tried again next time.
        if (showMessage(window_.boxOwner(), question, QStringLiteral("Ошибка проигрывания"),
                        MessageIcon::Exclamation, MessageButtons::YesNo) != MessageAnswer::Yes) {
            return nullptr;
        }
        bassAvailable_ = false;
    }
    QObject* owner = window_.boxOwner();
    fallback = makeFallback_(owner);
    // Nothing is reported when it cannot play: the box counts down all the same.
    fallback->play(fileName);
    return fallback.get();
}

void Playback::onTimer() {
    if (playbackCountdown_ <= 0) {
        return;
    }
    if (playbackBox_ == nullptr) {
        playbackBox_ = findOpenBox(kBoxCaption);
    }
    if (playbackBox_ == nullptr) {
        timer_.stop();
        playbackCountdown_ = 0;
        return;
    }
    playbackBox_->setCaption(QString::asprintf("Проигрывание %d", playbackCountdown_ - 1));
    if (playbackCountdown_ == 1) {
        playbackBox_->close();
    }
    --playbackCountdown_;
}
