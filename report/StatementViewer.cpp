#include "report/StatementViewer.h"

#include <QFileInfo>
#include <QProcess>
#include <utility>

namespace {

ProgramLauncher& currentLauncher() {
    static ProgramLauncher launcher;
    return launcher;
}

}  // namespace

bool openStatementInViewer(const QString& path) {
    const QString program = QStringLiteral("xdg-open");
    const QStringList arguments{QFileInfo(path).absoluteFilePath()};
    if (currentLauncher()) {
        return currentLauncher()(program, arguments);
    }
    return QProcess::startDetached(program, arguments);
}

ProgramLauncher setProgramLauncher(ProgramLauncher launcher) {
    return std::exchange(currentLauncher(), std::move(launcher));
}
