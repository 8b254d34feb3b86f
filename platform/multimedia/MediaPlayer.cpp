#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>

#include "platform/PlaybackPlayer.h"

namespace {

// The desktop's own media framework through Qt Multimedia. Its failures are not reported; the
// playback box counts down all the same.
class MediaPlayer : public PlaybackPlayer {
public:
    explicit MediaPlayer(QObject* window)
        : output_(std::make_unique<QAudioOutput>(window)),
          player_(std::make_unique<QMediaPlayer>(window)) {
        player_->setAudioOutput(output_.get());
    }
    ~MediaPlayer() override { stop(); }
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    bool play(const std::string& fileName) override {
        player_->setSource(QUrl::fromLocalFile(QString::fromStdString(fileName)));
        player_->play();
        return player_->error() == QMediaPlayer::NoError;
    }

    void stop() override { player_->stop(); }

    int errorCode() const override { return 0; }

private:
    // The output goes after the player that plays into it.
    std::unique_ptr<QAudioOutput> output_;
    std::unique_ptr<QMediaPlayer> player_;
};

}  // namespace

std::unique_ptr<PlaybackPlayer> makeSystemFallbackPlayer(QObject* window) {
    return std::make_unique<MediaPlayer>(window);
}
