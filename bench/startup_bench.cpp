// How long the organiser waits from the main window's making to a window ready for an exam, as
// the program starts: the start-up tests on this machine (both libraries loaded from the
// program's folder, the player opened on the default output, the single-instance lock, the free
// space) and the notice, then the first paint's session establishment (the KIM register, the out
// folder, the session set-up dialog over a site list of 1,000 lines answered with valid codes,
// the sound card list). Every box is answered through the message-box seam; "boxes" counts them
// per start, "first_ms" is the process's first start.
//
// The window lists one scripted sound card, which is all establishment asks of a card: a machine
// without one would end the window instead. ListSoundCardsOverAlsa times the program's own
// listing over ALSA on this machine, which the first figure leaves out.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <utility>

#include "app/ExamRecorderDialog.h"
#include "base/MessageBox.h"
#include "base/ProcessExit.h"
#include "app/StartupChecks.h"
#include "audio/CaptureDeviceRegistry.h"
#include "audio/PlayerLibrary.h"
#include "exam/PlaybackLibraryPlayer.h"
#include "platform/SharedLibrary.h"
#include "platform/alsa/AlsaWaveIn.h"
#include "session/SessionSetupDialog.h"

namespace {

void startApplication() {
    static int argc = 1;
    static char name[] = "startup_bench";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        new QApplication(argc, argv);
    }
}

// One card that records the exam's format; establishment never opens it.
class OneListedCard : public WaveInApi {
public:
    std::uint32_t deviceCount() override { return 1; }
    WaveResult deviceCaps(std::uint32_t deviceId, WaveInCaps& caps) override {
        if (deviceId != 0) {
            return WaveResult::BadDeviceId;
        }
        caps = {"Microphone", WAVE_FORMAT_4S16};
        return WaveResult::Ok;
    }
    WaveResult open(std::uint32_t, const WaveFormat&, RecordingQueue&,
                    std::unique_ptr<WaveIn>&) override {
        return WaveResult::Error;
    }
};

struct ProcessEnded : std::runtime_error {
    ProcessEnded() : std::runtime_error("the window ended the process") {}
};

bool writeSiteList() {
    QByteArray lines;
    for (int i = 0; i < 1'000; ++i) {
        lines += QByteArray::number(1000 + i) + " \xd8\xea\xee\xeb\xe0 \xb9" +
                 QByteArray::number(i) + "\r\n";
    }
    QFile file("ppe.txt");
    return file.open(QIODevice::WriteOnly) && file.write(lines) == lines.size();
}

// The real set-up dialog, filled in and confirmed as the organiser would.
SessionCodes confirmSetup(QWidget* owner) {
    SessionSetupDialog setup(owner);
    setup.show();
    setup.control<QComboBox>(SetupControlId::SiteBox)->setCurrentIndex(1);
    setup.control<QListWidget>(SetupControlId::SubjectList)->setCurrentRow(0);
    setup.control<QLineEdit>(SetupControlId::Classroom)->setText("007");
    setup.control<QPushButton>(SetupControlId::Confirm)->click();
    if (setup.result() != QDialog::Accepted) {
        throw std::runtime_error("the set-up dialog refused its codes");
    }
    return setup.codes();
}

void StartUpToEstablishedWindow(benchmark::State& state) {
    startApplication();
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    if (!writeSiteList()) {
        state.SkipWithError("cannot write ppe.txt");
        return;
    }
    int boxes = 0;
    setMessageHandler([&](const MessageRequest& box) {
        ++boxes;
        return box.buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    });
    setExitHandler([](int) { throw ProcessEnded(); });

    // The process's first window also pays for fonts, styles and the form's images.
    static double firstMilliseconds = 0;
    try {
        for (auto _ : state) {
            const auto began = std::chrono::steady_clock::now();
            PlayerLibrary player;
            PlaybackLibraryPlayer libraryPlayer(player);
            SystemStartupEnvironment environment(player, programFolder());
            OneListedCard card;
            CaptureDeviceRegistry registry(card);
            WindowServices services;
            services.captureDevices = &registry;
            services.runSessionSetup = confirmSetup;
            services.libraryPlayer = &libraryPlayer;
            services.signal.soundCheck = true;

            auto window = std::make_unique<ExamRecorderDialog>(std::move(services));
            window->runStartupSteps(environment);
            window->show();
            auto* cards = window->control<QListWidget>(ControlId::SoundCardList);
            auto* startExam = window->control(ControlId::StartExam);
            const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (cards->count() == 0 || !startExam->isEnabled()) {
                if (std::chrono::steady_clock::now() > bound) {
                    throw std::runtime_error("the window was not ready within 30 s");
                }
                QCoreApplication::processEvents();
            }

            if (firstMilliseconds == 0) {
                firstMilliseconds = std::chrono::duration<double, std::milli>(
                                        std::chrono::steady_clock::now() - began)
                                        .count();
            }
            state.PauseTiming();
            window.reset();
            state.ResumeTiming();
        }
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
    }
    state.counters["boxes"] =
        static_cast<double>(boxes) /
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["first_ms"] = firstMilliseconds;
    setMessageHandler({});
    setExitHandler({});
    QDir::setCurrent(previous);
}

void ListSoundCardsOverAlsa(benchmark::State& state) {
    std::size_t cards = 0;
    for (auto _ : state) {
        AlsaWaveIn alsa;
        CaptureDeviceRegistry registry(alsa);
        cards = registry.devices().size();
    }
    state.counters["cards"] = static_cast<double>(cards);
}

}  // namespace

BENCHMARK(StartUpToEstablishedWindow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ListSoundCardsOverAlsa)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
