#include <QApplication>

#include "app/CommandLine.h"
#include "app/RecorderApp.h"
#include "platform/ProcessSetup.h"

int main(int argc, char* argv[]) {
    prepareProcess();
    if (const auto status = runCommandLine(argc, argv)) {
        return *status;
    }
    QApplication application(argc, argv);
    runRecorderApp();
}
