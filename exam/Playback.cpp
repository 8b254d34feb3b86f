#include "exam/Playback.h"

#include <utility>

#include "app/ExamRecorderDialog.h"
#include "exam/AnswerRecording.h"
#include "exam/AnswerRecordingTable.h"
#include "exam/ExamSessionState.h"
#include "exam/PlaybackMediaPlayer.h"
#include "platform/MessageBox.h"

namespace {

const QString kBoxCaption = QStringLiteral("Buf playback");

}  // namespace

Playback::Playback(ExamRecorderDialog& window, PlaybackPlayer* library,
                   FallbackFactory makeFallback)
    : window_(window), library_(library), makeFallback_(std::move(makeFallback)) {
    timer_.setInterval(1000);
    QObject::connect(&timer_, &QTimer::timeout, &window, [this] { onTimer(); });
}

void Playback::onListen() {
    timer_.start();
    playbackCountdown_ = static_cast<int>(window_.session().answerElapsed.load());

    std::unique_ptr<PlaybackPlayer> fallback;
    PlaybackPlayer* playing =
        startPlayer(window_.answerRecording().answerFileName().toStdString(), fallback);

    showMessage(&window_, QStringLiteral("Проигрывание последней записи\n\n"), kBoxCaption,
                MessageIcon::Information, MessageButtons::Ok);

    playbackCountdown_ = 0;
    applyAnswerControls(AnswerStep::PlaybackEnded,
                        [this](ControlId id) { return window_.control(id); });
    playbackBox_ = nullptr;
    if (playing != nullptr) {
        playing->stop();
    }
}

PlaybackPlayer* Playback::startPlayer(const std::string& fileName,
                                      std::unique_ptr<PlaybackPlayer>& fallback) {
    if (window_.bassAvailable() && library_ != nullptr) {
        if (library_->play(fileName)) {
            return library_;
        }
        const QString question = QString::asprintf(
            "Ошибка проигрывания MP3 через bass.dll, код ошибки - %d\n\nИспользование "
            "встроенный в Windows проигрыватель?",
            library_->errorCode());
        // No plays nothing this time and leaves the library to be tried again next time.
        if (showMessage(&window_, question, QStringLiteral("Ошибка проигрывания"),
                        MessageIcon::Exclamation, MessageButtons::YesNo) != MessageAnswer::Yes) {
            return nullptr;
        }
        window_.setBassAvailable(false);
    }
    fallback =
        makeFallback_ ? makeFallback_(&window_) : std::make_unique<PlaybackMediaPlayer>(&window_);
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
