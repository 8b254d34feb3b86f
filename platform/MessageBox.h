// The one way the program shows a message box, so tests can read every text and answer it.
// Icons and buttons name what the organiser sees, not a toolkit's enum.
#pragma once

#include <QString>
#include <functional>

class QWidget;

enum class MessageIcon { Information, Exclamation, Stop, Question, None };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct MessageRequest {
    QWidget* owner = nullptr;
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
};

// Shows a modal box owned by `owner` and returns the organiser's answer.
MessageAnswer showMessage(QWidget* owner, const QString& text, const QString& caption,
                          MessageIcon icon, MessageButtons buttons);

using MessageHandler = std::function<MessageAnswer(const MessageRequest&)>;

// Routes every box to `handler` instead of the screen (tests). An empty handler restores the real
// boxes. Returns the handler that was in place.
MessageHandler setMessageHandler(MessageHandler handler);
