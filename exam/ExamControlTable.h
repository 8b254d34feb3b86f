// Which of the main window's controls each exam step enables or disables: the one place that
// decides it, laid out as the exam's enabled-state table.
#pragma once

class ExamWindow;

enum class ExamStep { SessionEstablished, ExamStarted, ExamEnded };

// Sets the enabled state of every control of `window` the table names for `step`.
void applyExamControls(ExamStep step, const ExamWindow& window);
