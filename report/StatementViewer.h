// Opens a written statement in the desktop's viewer for HTML files: xdg-open on Linux, started
// with its argument list and never through a shell; the shell's "open" on Windows.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Starts `program` with `arguments` and does not wait for it; false when it could not start.
using ProgramLauncher = std::function<bool(const QString& program, const QStringList& arguments)>;

// Hands `path` (made absolute) to the viewer; false when the viewer could not be started.
bool openStatementInViewer(const QString& path);

// Routes every launch to `launcher` instead (tests). An empty launcher restores the real one.
// Returns the launcher that was in place.
ProgramLauncher setProgramLauncher(ProgramLauncher launcher);
