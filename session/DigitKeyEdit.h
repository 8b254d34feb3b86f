// A line edit that, like a number-style edit, takes only digit keys from the keyboard. Pasted
// text goes in as it is, so whoever reads the text must still check it.
#pragma once

#include <QLineEdit>

class DigitKeyEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DigitKeyEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
