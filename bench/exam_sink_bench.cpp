// What the exam's sink costs per 2-s block (one encode, two writes, each synced to the disk),
// which must stay far inside the 2 s the device takes to fill the other buffer; and the
// encoder's CPU time on 10 minutes of sound against the lame command line on the same sound.
#include <benchmark/benchmark.h>
#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QStorageInfo>
#include <QTemporaryDir>
#include "audio/EncoderLibrary.h"
#include "audio/Mp3Stream.h"
#include "audio/RecordingFormat.h"

#include "exam/ExamJournal.h"
#include "exam/ExamSessionState.h"
#include "exam/Mp3FileSink.h"
#include "exam/RecordingEvents.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kBlockSamples = recording_format::kBlockBytes / 2;
constexpr int kTenMinutesOfBlocks = 300;

// A folder for the files, on the disk EXAM_BENCH_DIR names (the system's temporary folder
// otherwise), removed with everything in it when the benchmark is done.
class ScratchFolder {
public:
    ScratchFolder() : folder_(pattern()) {}

    bool made() const { return folder_.isValid(); }
    // A file's name in the folder, in UTF-8 as the program's files take it.
    std::string file(const char* name) const { return folder_.filePath(name).toStdString(); }
    // Syncing costs nothing on a file system in memory: say so beside the figures.
    std::string kind() const {
        const QStorageInfo info(folder_.path());
        if (!info.isValid()) {
            return "unknown file system";
        }
        return info.fileSystemType() == "tmpfs" ? "tmpfs (no real sync)" : "on disk";
    }

private:
    static QString pattern() {
        const char* base = std::getenv("EXAM_BENCH_DIR");
        const fs::path folder =
            (base != nullptr && *base != '\0') ? fs::path(base) : fs::temp_directory_path();
        return QString::fromStdU16String((folder / "exam-sink-bench-XXXXXX").generic_u16string());
    }

    const QTemporaryDir folder_;
};

// Speech-like: a few partials under a syllable-rate envelope, with some noise.
std::vector<short> speechLike(int blocks) {
    std::vector<short> pcm(static_cast<std::size_t>(blocks) * kBlockSamples);
    constexpr double pi = std::numbers::pi;
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
        const double t = static_cast<double>(i) / 44'100;
        const double envelope = 0.5 + 0.5 * std::sin(2 * pi * 4 * t);
        noise = noise * 1'664'525u + 1'013'904'223u;
        const double voice = std::sin(2 * pi * 180 * t) + 0.5 * std::sin(2 * pi * 360 * t) +
                             0.25 * std::sin(2 * pi * 1'250 * t) +
                             0.1 * (static_cast<double>(noise >> 16) / 32'768.0 - 1);
        pcm[2 * i] = static_cast<short>(6'000 * envelope * voice);
        pcm[2 * i + 1] = static_cast<short>(5'000 * envelope * voice);
    }
    return pcm;
}

// Posts each report to the window's thread as the window does, so their cost is counted; the
// reports are taken off the queue between blocks, outside the timing.
class PostingWindow : public QObject, public RecordingEvents {
public:
    int failures = 0;
    void elapsedChanged(std::optional<std::int64_t> exam, std::uint64_t answer,
                        std::optional<std::int64_t> seconds) override {
        QMetaObject::invokeMethod(
            this, [exam, answer, seconds] { benchmark::DoNotOptimize(exam && seconds && answer); },
            Qt::QueuedConnection);
    }
    void answerStopped(std::uint64_t) override {}
    void answerClosed(std::uint64_t) override {}
    void writeFailed(const std::string&) override { ++failures; }
    void captureProblem(const QString&) override { ++failures; }
    void captureNotice(const QString&) override {}
};

void SinkBlockIntoBothFiles(benchmark::State& state) {
    const ScratchFolder folder;
    if (!folder.made()) {
        state.SkipWithError("no scratch folder");
        return;
    }
    int argc = 0;
    QCoreApplication application(argc, nullptr);
    ExamSessionState session;
    PostingWindow window;
    if (!session.allFile.open(folder.file("all.mp3"), RecordingFile::Mode::CreateNew) ||
        !session.answer.open(folder.file("answer.mp3"), "0000017")) {
        state.SkipWithError("cannot create the files");
        return;
    }
    session.examRunning = true;
    ExamJournal journal({}, folder.file(".exam-journal"));
    Mp3FileSink sink(session, window, journal, 0, EncoderLibrary::instance());
    const std::vector<short> pcm = speechLike(1);

    for (auto _ : state) {
        sink.onAudioData(pcm.data(), kBlockSamples * 2);
        state.PauseTiming();
        QCoreApplication::sendPostedEvents();
        state.ResumeTiming();
    }
    if (window.failures != 0) {
        state.SkipWithError("a write failed");
    }
    state.SetLabel(folder.kind());
    // Seconds of sound handled per second: the real-time factor.
    state.counters["realtime_factor"] = benchmark::Counter(
        2.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

#ifndef _WIN32
// Against Debian's lame command line, which the Windows program has no counterpart of.
double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// CPU time (user and system) of the lame command line encoding `raw` as the recorder does,
// or a negative number when it did not run.
double lameCpuSeconds(const fs::path& raw, const fs::path& mp3) {
    std::vector<std::string> args = {"lame",       "-r",         "-s",        "44.1",
                                     "--bitwidth", "16",         "--signed",  "--little-endian",
                                     "-b",         "128",        "--cbr",     "-m",
                                     "j",          "--nores",    "-t",        "--noreplaygain",
                                     "--quiet",    raw.string(), mp3.string()};
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    // Its build warns on stderr that raw input might be seeked in; a file is, harmlessly.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "lame", &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void EncoderAgainstLameOnTenMinutes(benchmark::State& state) {
    const ScratchFolder folder;
    if (!folder.made()) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const std::vector<short> pcm = speechLike(kTenMinutesOfBlocks);
    const fs::path raw = folder.file("ten-minutes.raw");
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(pcm.data()),
               static_cast<std::streamsize>(pcm.size() * sizeof(short)));

    double ours = 0;
    double lame = 0;
    for (auto _ : state) {
        Mp3Stream stream(128, 44'100, 44'100);
        std::vector<unsigned char> output(
            std::max<std::uint32_t>(176'400, stream.outputBufferSize()));
        const double began = threadCpuSeconds();
        for (int block = 0; block < kTenMinutesOfBlocks; ++block) {
            std::uint32_t bytes = 0;
            stream.encode(pcm.data() + static_cast<std::size_t>(block) * kBlockSamples,
                          kBlockSamples, output.data(), &bytes);
            benchmark::DoNotOptimize(bytes);
        }
        ours = threadCpuSeconds() - began;
        state.SetIterationTime(ours);

        lame = lameCpuSeconds(raw, folder.file("lame.mp3"));
        if (lame <= 0) {
            state.SkipWithError("the lame command line did not run (Debian package lame)");
            return;
        }
    }
    state.counters["ours_cpu_s"] = ours;
    state.counters["lame_cpu_s"] = lame;
    state.counters["realtime_factor"] = 600.0 / ours;
    state.counters["ratio_to_lame"] = ours / lame;
}
#endif

}  // namespace

BENCHMARK(SinkBlockIntoBothFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
#ifndef _WIN32
BENCHMARK(EncoderAgainstLameOnTenMinutes)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
#endif

BENCHMARK_MAIN();
