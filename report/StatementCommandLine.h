// `exam-recorder --statement SITE CLASSROOM SUBJECT`: the button's statement without a window,
// for auditing a classroom's out folder in the working folder and for scripted checks.
#pragma once

#include <QStringList>
#include <cstdio>

#include "session/KimRegister.h"

// Writes the statement for the codes in `arguments` (the three after --statement), prints its
// path to `out` and returns 0; on bad codes or a failure prints why to `err` and returns 1.
// `allocate` replaces the register's own allocation when given (tests).
int runStatementCommandLine(const QStringList& arguments, std::FILE* out = stdout,
                            std::FILE* err = stderr, KimRegister::Allocator allocate = nullptr);
