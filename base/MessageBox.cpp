#include "base/MessageBox.h"

#include <QMessageBox>
#include <algorithm>
#include <utility>
#include <vector>

namespace {

std::vector<OpenBox*>& openBoxes() {
    static std::vector<OpenBox*> boxes;
    return boxes;
}

MessageHandler& currentHandler() {
    static MessageHandler handler;
    return handler;
}

QMessageBox::Icon toQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Stop:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            return QMessageBox::NoIcon;
    }
    return QMessageBox::NoIcon;
}

MessageAnswer showOnScreen(const MessageRequest& request) {
    const bool yesNo = request.buttons == MessageButtons::YesNo;
    QMessageBox box(toQtIcon(request.icon), request.caption, request.text,
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, request.owner);
    box.setTextFormat(Qt::PlainText);
    OpenBox open(request.caption);
    open.captionChanged = [&box](const QString& caption) { box.setWindowTitle(caption); };
    open.closed = [&box] { box.close(); };
    const int result = box.exec();
    if (!yesNo) {
        return MessageAnswer::Ok;
    }
    return result == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

}  // namespace

MessageAnswer showMessage(QWidget* owner, const QString& text, const QString& caption,
                          MessageIcon icon, MessageButtons buttons) {
    const MessageRequest request{owner, text, caption, icon, buttons};
    if (currentHandler()) {
        return currentHandler()(request);
    }
    return showOnScreen(request);
}

MessageHandler setMessageHandler(MessageHandler handler) {
    return std::exchange(currentHandler(), std::move(handler));
}

OpenBox::OpenBox(QString caption) : caption_(std::move(caption)) {
    openBoxes().push_back(this);
}

OpenBox::~OpenBox() {
    std::erase(openBoxes(), this);
}

void OpenBox::setCaption(const QString& caption) {
    caption_ = caption;
    if (captionChanged) {
        captionChanged(caption);
    }
}

void OpenBox::close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    if (closed) {
        closed();
    }
}

OpenBox* findOpenBox(const QString& caption) {
    const auto& boxes = openBoxes();
    const auto found = std::find_if(boxes.rbegin(), boxes.rend(), [&](const OpenBox* box) {
        return !box->isClosed() && box->caption() == caption;
    });
    return found != boxes.rend() ? *found : nullptr;
}
