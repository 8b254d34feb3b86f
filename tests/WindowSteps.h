// The organiser's steps in the main window, as the window tests take them.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QString>

#include "app/ExamRecorderDialog.h"
#include "res/ControlIds.h"

inline void click(ExamRecorderDialog& window, ControlId id) {
    window.control<QPushButton>(id)->click();
}

// Types `kim` into the KIM field and again into its repeat, confirming each.
inline void enterKim(ExamRecorderDialog& window, const QString& kim) {
    window.control<QLineEdit>(ControlId::KimEntry)->setText(kim);
    click(window, ControlId::KimOk);
    window.control<QLineEdit>(ControlId::KimRepeatEntry)->setText(kim);
    click(window, ControlId::KimRepeatOk);
}
