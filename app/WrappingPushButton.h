// A push button whose caption wraps at word boundaries to fit the button, as multi-line
// buttons of the window do; the caption text itself is kept exactly as given.
#pragma once

#include <QPushButton>

class WrappingPushButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};
