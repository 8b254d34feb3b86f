#include "res/DialogTemplate.h"

#include <QDialog>
#include <QLabel>

void keepTemplateSizes(QDialog& dialog) {
    // The form's geometry is in pixels scaled from the template's dialog units, so its font is
    // fixed in pixels as well, whatever the screen's dots per inch.
    QFont templateFont = dialog.font();
    templateFont.setPixelSize(12);
    dialog.setFont(templateFont);
    // Our fonts run wider than the template's: let a static text grow to its text, not clip it.
    for (auto* label : dialog.findChildren<QLabel*>()) {
        if (!label->text().isEmpty() && label->sizeHint().width() > label->width()) {
            label->resize(label->sizeHint().width(), label->height());
        }
    }
    dialog.setFixedSize(dialog.size());
}
