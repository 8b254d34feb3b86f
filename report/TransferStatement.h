// The transfer statement and checksum list of the out folder for one session's codes: the
// window-free run that the main window's button and the command line both use.
#pragma once

#include <QString>
#include <functional>

#include "session/SessionCodes.h"

enum class StatementStatus {
    Written,
    InvalidCodes,         // the codes are not four digits, three digits and a subject code
    OutFolderUnreadable,  // nothing was written
    CannotWrite,          // a file could not be created or written in full
    HeldElsewhere,        // another program holds one of the files open
};

struct StatementResult {
    StatementStatus status = StatementStatus::Written;
    QString statementPath;  // out/report_<subject>_<site>-<classroom>.htm
};

// Told after each answer file with the count done so far and the count in all.
using StatementProgress = std::function<void(qsizetype filesDone, qsizetype fileCount)>;

// Whether the codes have the shape the session set-up gives them; only such codes may name the
// statement's files and go into its page.
bool areStatementCodes(const SessionCodes& codes);

QString statementFileName(const SessionCodes& codes);
QString checksumListFileName(const SessionCodes& codes);

// Audits the answer files in "out" (relative to the working folder) and writes both files,
// replacing those of an earlier run with the same codes. Needs the KIM register built.
StatementResult writeTransferStatement(const SessionCodes& codes,
                                       const StatementProgress& progress = {});

// The organiser's message for a status other than Written.
QString statementFailureMessage(StatementStatus status);
