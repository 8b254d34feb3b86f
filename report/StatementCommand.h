// The main window's "Показать ведомость" button: writes the statement for the codes shown in
// the window, tells the organiser of a failure, and offers to open the statement.
#pragma once

#include <chrono>

#include "report/StatementProgressDialog.h"
#include "session/SessionCodes.h"

class QWidget;

// Runs the whole command with its boxes owned by `window`. Needs the KIM register built.
void showTransferStatement(
    QWidget* window, const SessionCodes& codes,
    std::chrono::milliseconds showProgressAfter = StatementProgressDialog::defaultShowAfter);
