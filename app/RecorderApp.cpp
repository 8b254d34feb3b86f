#include "app/RecorderApp.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/ExamRecorderDialog.h"
#include "app/StartupChecks.h"
#include "app/SystemServices.h"
#include "base/ProcessExit.h"
#include "platform/FileName.h"
#include "platform/SharedLibrary.h"
#include "session/WorkingFolder.h"

void installRussianTranslations() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    auto* translator = new QTranslator(qApp);
    if (translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    }
}

void runRecorderApp() {
    installRussianTranslations();
    enterWorkingFolder(filePath(programFolder()));
    SystemStartupEnvironment environment(systemPlayerLibrary(), programFolder());
    ExamRecorderDialog dialog;
    dialog.runStartupSteps(environment);
    // The window's run ends only when the session could not be set up (no sound card);
    // every other end goes through the close question. Either way nothing is left to close.
    exitProcess(dialog.exec() == -1 ? 1 : 0);
}
