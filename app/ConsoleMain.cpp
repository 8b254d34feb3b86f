// exam-recorder.com, the console twin of the window program: cmd and PowerShell take it for the
// bare name, wait for it and see its exit status; the recorder's window never holds a console.
#include <QDir>
#include <QProcess>
#include <QString>

#include "app/CommandLine.h"
#include "platform/ProcessSetup.h"
#include "platform/SharedLibrary.h"
#include "report/CommandLineOutput.h"

int main(int argc, char* argv[]) {
    prepareProcess();
    if (const auto status = runCommandLine(argc, argv)) {
        return *status;
    }
    // Without a command: the recorder, started in this working folder, and the prompt back.
    const QString windowProgram = QDir::toNativeSeparators(QString::fromStdString(programFolder()) +
                                                           QStringLiteral("/exam-recorder.exe"));
    if (!QProcess::startDetached(windowProgram, {})) {
        printError(stderr, QStringLiteral("не удалось запустить ") + windowProgram);
        return 1;
    }
    return 0;
}
