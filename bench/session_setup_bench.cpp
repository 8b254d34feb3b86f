// Opening the session set-up, and its site list, over a ppe.txt of 100,000 lines: the organiser
// waits for both, so each must stay well under a second.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "session/SessionSetupDialog.h"
#include "session/SiteList.h"

namespace {

QByteArray hundredThousandSites() {
    QByteArray lines;
    for (int i = 0; i < 100'000; ++i) {
        lines += QByteArray::number(1000 + i % 9000) + " \xd8\xea\xee\xeb\xe0 \xb9" +
                 QByteArray::number(i) + "\r\n";
    }
    return lines;
}

// The benchmark library runs each benchmark more than once; the application is made once and
// kept until the process ends.
void startApplication() {
    static int argc = 1;
    static char name[] = "session_setup_bench";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        new QApplication(argc, argv);
    }
}

void ReadSiteListOf100000Lines(benchmark::State& state) {
    const QByteArray content = hundredThousandSites();
    for (auto _ : state) {
        benchmark::DoNotOptimize(SiteList::itemsOf(content));
    }
}

// Runs `body` in a working folder whose ppe.txt holds 100,000 sites.
template <typename Body>
void inFolderWith100000Sites(benchmark::State& state, Body body) {
    startApplication();
    QTemporaryDir folder;
    QFile file(folder.filePath("ppe.txt"));
    if (!file.open(QIODevice::WriteOnly) || file.write(hundredThousandSites()) < 0) {
        state.SkipWithError("cannot write ppe.txt");
        return;
    }
    file.close();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    body();
    QDir::setCurrent(previous);
}

void OpenSetupDialogWith100000Sites(benchmark::State& state) {
    inFolderWith100000Sites(state, [&] {
        for (auto _ : state) {
            SessionSetupDialog dialog;
            dialog.show();
            QCoreApplication::processEvents();
            benchmark::DoNotOptimize(dialog.isVisible());
        }
    });
}

void DropDownSiteBoxOf100000Sites(benchmark::State& state) {
    inFolderWith100000Sites(state, [&] {
        SessionSetupDialog dialog;
        dialog.show();
        auto* siteBox = dialog.control<QComboBox>(SetupControlId::SiteBox);
        for (auto _ : state) {
            siteBox->showPopup();
            QCoreApplication::processEvents();
            siteBox->hidePopup();
        }
    });
}

}  // namespace

BENCHMARK(ReadSiteListOf100000Lines)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenSetupDialogWith100000Sites)->Unit(benchmark::kMillisecond);
BENCHMARK(DropDownSiteBoxOf100000Sites)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
