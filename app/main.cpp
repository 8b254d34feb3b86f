#include <QApplication>

#include "app/CommandLine.h"
#include "app/RecorderApp.h"

int main(int argc, char* argv[]) {
    if (const auto status = runCommandLine(argc, argv)) {
        return *status;
    }
    QApplication application(argc, argv);
    RecorderApp recorder;
    return recorder.run();
}
