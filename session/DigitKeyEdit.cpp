#include "session/DigitKeyEdit.h"

#include <QKeyEvent>
#include <algorithm>

DigitKeyEdit::DigitKeyEdit(QWidget* parent) : QLineEdit(parent) {
    // Composed input would bypass the key filter below.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setInputMethodHints(Qt::ImhDigitsOnly);
}

void DigitKeyEdit::keyPressEvent(QKeyEvent* event) {
    // Control and Meta keys are editing commands (paste, select all), not typing.
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
    const QString typed = event->text();
    const bool printable =
        std::any_of(typed.begin(), typed.end(), [](QChar c) { return c.isPrint(); });
    const bool digits =
        std::all_of(typed.begin(), typed.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!command && printable && !digits) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
