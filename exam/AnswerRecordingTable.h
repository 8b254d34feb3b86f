// Which of the main window's controls each step of an answer enables, disables, shows or
// hides: the one place that decides it, laid out as the answer's enabled-state table.
#pragma once

class ExamWindow;

enum class AnswerStep {
    FirstOkPassed,
    SecondOkAccepted,
    AnswerStarted,
    AnswerStopped,
    FileClosed,
    PlaybackEnded,
    Saved,
};

// Applies the column of `step` to every control of `window` the table names.
void applyAnswerControls(AnswerStep step, const ExamWindow& window);
