// How the command-line uses of the program print: a line of text (UTF-8 into a file or a pipe),
// and an error line named by the program.
#pragma once

#include <QString>
#include <cstdio>

#include "platform/ConsoleText.h"

inline void printLine(std::FILE* stream, const QString& text) {
    writeTextLine(stream, text.toUtf8().toStdString());
}

inline void printError(std::FILE* err, const QString& text) {
    printLine(err, QStringLiteral("exam-recorder: ") + text);
}
