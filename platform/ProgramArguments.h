// The program's command-line arguments as text, whatever the system's narrow code page.
#pragma once

#include <QStringList>

// The program's name and its arguments. On Linux the bytes of `argv`, decoded as the locale's;
// on Windows the command line's own UTF-16 text (`argv` holds it only in the ANSI code page).
QStringList programArguments(int argc, char* argv[]);
