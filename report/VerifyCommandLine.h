// `exam-recorder --verify FOLDER`: the check of a transferred set of answer files against its
// checksum lists, without a window, for the head of the exam site and for scripts.
#pragma once

#include <QStringList>
#include <cstdio>

// Checks the folder named in `arguments` (the one after --verify), prints a line per file and
// the total to `out`; returns 0 when every listed file matches and no other answer file is
// there, 1 when something differs, 2 on bad use or an unusable list (told on `err`).
int runVerifyCommandLine(const QStringList& arguments, std::FILE* out = stdout,
                         std::FILE* err = stderr);
