#include "exam/PlaybackMediaPlayer.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>

PlaybackMediaPlayer::PlaybackMediaPlayer(QObject* window)
    : output_(std::make_unique<QAudioOutput>(window)),
      player_(std::make_unique<QMediaPlayer>(window)) {
    player_->setAudioOutput(output_.get());
}

PlaybackMediaPlayer::~PlaybackMediaPlayer() {
    stop();
}

bool PlaybackMediaPlayer::play(const std::string& fileName) {
    player_->setSource(QUrl::fromLocalFile(QString::fromStdString(fileName)));
    player_->play();
    return player_->error() == QMediaPlayer::NoError;
}

void PlaybackMediaPlayer::stop() {
    player_->stop();
}

std::unique_ptr<PlaybackPlayer> makeSystemFallbackPlayer(QObject* window) {
    return std::make_unique<PlaybackMediaPlayer>(window);
}
