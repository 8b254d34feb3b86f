#include <QApplication>
#include <csignal>

#include "app/CommandLine.h"
#include "app/RecorderApp.h"

int main(int argc, char* argv[]) {
    // A write past a file-size limit must fail and be reported, not kill the recording.
    std::signal(SIGXFSZ, SIG_IGN);
    if (const auto status = runCommandLine(argc, argv)) {
        return *status;
    }
    QApplication application(argc, argv);
    RecorderApp recorder;
    return recorder.run();
}
