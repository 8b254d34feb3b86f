// How the command-line uses of the program print: a line of UTF-8 text, and an error line named
// by the program.
#pragma once

#include <QString>
#include <cstdio>

inline void printLine(std::FILE* stream, const QString& text) {
    std::fprintf(stream, "%s\n", text.toUtf8().constData());
}

inline void printError(std::FILE* err, const QString& text) {
    printLine(err, QStringLiteral("exam-recorder: ") + text);
}
