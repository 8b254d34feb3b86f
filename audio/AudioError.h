// An error raised by the audio classes. It carries only a pointer to a static message text,
// which what() returns; the one error that names a card carries its own text.
#pragma once

#include <exception>
#include <memory>
#include <string>

class AudioError : public std::exception {
public:
    explicit AudioError(const char* message) noexcept : message_(message) {}
    const char* what() const noexcept override { return message_; }

private:
    const char* message_;
};

// The card a device stands for is not in the system's list of the moment.
class CardNotConnected : public AudioError {
public:
    explicit CardNotConnected(const std::string& cardName)
        : AudioError("Sound card not connected."),
          text_(std::make_shared<const std::string>("Звуковая карта «" + cardName +
                                                    "» не подключена.")) {}
    const char* what() const noexcept override { return text_->c_str(); }

private:
    std::shared_ptr<const std::string> text_;  // shared, so a copy never throws
};
