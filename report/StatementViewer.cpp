#include "report/StatementViewer.h"

#include <QFileInfo>
#include <utility>

#include "platform/DesktopViewer.h"
#include "platform/FileName.h"
#include "platform/SystemNames.h"

namespace {

ProgramLauncher& currentLauncher() {
    static ProgramLauncher launcher;
    return launcher;
}

}  // namespace

bool openStatementInViewer(const QString& path) {
    const QString program = QString::fromUtf8(statementViewerName);
    const QStringList arguments{QFileInfo(path).absoluteFilePath()};
    if (currentLauncher()) {
        return currentLauncher()(program, arguments);
    }
    return openInDesktopViewer(filePath(arguments.front()));
}

ProgramLauncher setProgramLauncher(ProgramLauncher launcher) {
    return std::exchange(currentLauncher(), std::move(launcher));
}
