#include "exam/AnswerRecordingTable.h"

#include <QWidget>
#include <array>

#include "exam/ExamWindow.h"

namespace {

// On and Off enable or disable a control; for the record indicator they show or hide it.
enum class Change { On, Off, Unchanged };

struct Row {
    ControlId id;
    std::array<Change, 7> after;  // in the order of AnswerStep
};

using enum Change;
constexpr Row kTable[] = {
    // first ok, second ok, started, stopped, file closed, playback ended, saved
    {ControlId::RecordAnswer, {Off, On, Off, On, Unchanged, Unchanged, On}},
    {ControlId::StopAnswer, {Unchanged, Unchanged, On, Off, Unchanged, Unchanged, Off}},
    {ControlId::KimEntry, {Unchanged, Unchanged, Off, Off, Unchanged, Unchanged, On}},
    {ControlId::KimRepeatEntry, {Unchanged, Unchanged, Off, Off, Unchanged, Unchanged, On}},
    {ControlId::KimOk, {Unchanged, Unchanged, Off, Off, Unchanged, Unchanged, On}},
    {ControlId::KimRepeatOk, {Unchanged, Unchanged, Off, Off, Unchanged, Unchanged, On}},
    {ControlId::Listen, {Unchanged, Unchanged, Off, Off, On, Unchanged, Off}},
    {ControlId::SaveAnswer, {Unchanged, Unchanged, Off, Off, Unchanged, On, Off}},
    {ControlId::EndExam, {Unchanged, Unchanged, Off, Off, Unchanged, Unchanged, On}},
    {ControlId::RecordIndicator, {Unchanged, Unchanged, On, Off, Unchanged, Unchanged, Unchanged}},
};

}  // namespace

void applyAnswerControls(AnswerStep step, const ExamWindow& window) {
    for (const Row& row : kTable) {
        const Change change = row.after[static_cast<int>(step)];
        if (change == Unchanged) {
            continue;
        }
        QWidget* widget = window.control(row.id);
        if (row.id == ControlId::RecordIndicator) {
            widget->setVisible(change == On);
        } else {
            widget->setEnabled(change == On);
        }
    }
}
