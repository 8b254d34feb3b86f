// What both dialogs do with the form their template gives them: the template's sizes kept,
// whatever the system's fonts, and each control found by the id the form gives it.
#pragma once

#include <QVariant>
#include <QWidget>
#include <map>

#include "res/ControlIds.h"

class QDialog;

// Fixes `dialog`'s font in pixels, lets each static text grow to its text, and fixes the dialog
// at the template's size.
void keepTemplateSizes(QDialog& dialog);

// The controls of a form by the id each carries in its controlIdProperty.
template <typename Id>
class ControlMap {
public:
    ControlMap() = default;
    explicit ControlMap(const QWidget& form) {
        for (QWidget* child : form.findChildren<QWidget*>()) {
            const QVariant id = child->property(controlIdProperty);
            if (id.isValid()) {
                controls_[static_cast<Id>(id.toInt())] = child;
            }
        }
    }

    // The control with `id`; null when the form has none.
    QWidget* find(Id id) const {
        const auto found = controls_.find(id);
        return found != controls_.end() ? found->second : nullptr;
    }
    auto begin() const { return controls_.begin(); }
    auto end() const { return controls_.end(); }

private:
    std::map<Id, QWidget*> controls_;
};
