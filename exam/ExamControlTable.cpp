#include "exam/ExamControlTable.h"

#include <QWidget>
#include <array>

#include "exam/ExamWindow.h"

namespace {

enum class Enabled { On, Off, Unchanged };

struct Row {
    ControlId id;
    // After the session's establishment, the exam's start and the exam's end.
    std::array<Enabled, 3> after;
};

using enum Enabled;
constexpr Row kTable[] = {
    {ControlId::StartExam, {On, Off, On}},
    {ControlId::EndExam, {Off, On, Off}},
    {ControlId::RecordAnswer, {Off, Off, Off}},
    {ControlId::StopAnswer, {Off, Off, Off}},
    {ControlId::KimEntry, {Off, On, Off}},
    {ControlId::KimRepeatEntry, {Off, On, Off}},
    {ControlId::KimOk, {Off, On, Off}},
    {ControlId::KimRepeatOk, {Off, On, Off}},
    {ControlId::Listen, {Off, Off, Off}},
    {ControlId::SaveAnswer, {Off, Unchanged, Unchanged}},
    {ControlId::LevelSlider, {Unchanged, Off, On}},
};

}  // namespace

void applyExamControls(ExamStep step, const ExamWindow& window) {
    for (const Row& row : kTable) {
        const Enabled enabled = row.after[static_cast<int>(step)];
        if (enabled != Unchanged) {
            window.control(row.id)->setEnabled(enabled == On);
        }
    }
}
