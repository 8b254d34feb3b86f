#include "platform/DesktopViewer.h"

#include <QFile>
#include <QProcess>

bool openInDesktopViewer(const std::filesystem::path& document) {
    // An argument list, never a shell command line: no file name is read as a command.
    return QProcess::startDetached(QStringLiteral("xdg-open"),
                                   {QFile::decodeName(document.c_str())});
}
