// Which of the main window's controls each exam step enables or disables: the one place that
// decides it, laid out as the exam's enabled-state table.
#pragma once

#include <functional>

#include "res/ControlIds.h"

class QWidget;

enum class ExamStep { SessionEstablished, ExamStarted, ExamEnded };

// Sets the enabled state of every control the table names for `step`; `control` finds them.
void applyExamControls(ExamStep step, const std::function<QWidget*(ControlId)>& control);
