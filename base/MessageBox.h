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

// A box while it waits for its answer. Code that runs meanwhile (a timer) finds it by its
// caption and may retitle or close it. The seam makes one for every box it puts on screen; a
// test's handler makes one for a box it keeps open. Window's thread only.
class OpenBox {
public:
    explicit OpenBox(QString caption);
    ~OpenBox();
    OpenBox(const OpenBox&) = delete;
    OpenBox& operator=(const OpenBox&) = delete;

    const QString& caption() const { return caption_; }
    void setCaption(const QString& caption);
    // Ends the box as its OK button would.
    void close();
    bool isClosed() const { return closed_; }

    // What the box on screen (or the test) does with each change.
    std::function<void(const QString& caption)> captionChanged;
    std::function<void()> closed;

private:
    QString caption_;
    bool closed_ = false;
};

// The open box with `caption` shown last; null when there is none.
OpenBox* findOpenBox(const QString& caption);

using MessageHandler = std::function<MessageAnswer(const MessageRequest&)>;

// Routes every box to `handler` instead of the screen (tests). An empty handler restores the real
// boxes. Returns the handler that was in place.
MessageHandler setMessageHandler(MessageHandler handler);
