// The statement over 1,000 answer files of 1 MiB each, and the check of the same files against
// the statement's checksum list (--verify), each against `cat` of the same files, all from a
// warm page cache. Reading dominates, so the ratio shows what the checksum, the audit, the
// writing or the list add; target for both: ratio_to_cat at most 1.3.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "report/TransferCheck.h"
#include "report/TransferStatement.h"
#include "session/KimRegister.h"

extern char** environ;

namespace {

constexpr int fileCount = 1000;
constexpr qsizetype fileBytes = 1 << 20;
const SessionCodes codes{"0042", "007", "eng"};

// The folder is made once for the process and left as the working folder.
QStringList makeAnswerFolder() {
    static QTemporaryDir folder;
    static QStringList names;
    if (!names.isEmpty()) {
        return names;
    }
    QDir::setCurrent(folder.path());
    QDir().mkdir("out");
    QByteArray content(fileBytes, Qt::Uninitialized);
    std::mt19937 random(7);
    for (char& byte : content) {
        byte = static_cast<char>(random());
    }
    for (int i = 0; i < fileCount; ++i) {
        const QString name = QString::asprintf("0042-007-eng_%07d.mp3", 1'000'000 + i * 17);
        QFile file("out/" + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
            return {};
        }
        names << name;
    }
    return names;
}

bool catToNull(const std::vector<std::string>& paths) {
    std::vector<char*> argv{const_cast<char*>("cat")};
    for (const std::string& path : paths) {
        argv.push_back(const_cast<char*>(path.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "cat", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// The bare reads of the same files through one buffer of cat's size, in this process: what
// the run costs beyond reading, free of cat's own costs (on a loaded virtual machine, cat's
// unmapping of its buffer after each file can take milliseconds).
bool readOnly(const std::vector<std::string>& paths) {
    std::vector<char> buffer(131'072);
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        ssize_t count = 0;
        while ((count = ::read(fd, buffer.data(), buffer.size())) > 0) {
        }
        ::close(fd);
        if (count < 0) {
            return false;
        }
    }
    return true;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Times `run` (false when it failed) against cat of the same files, each pass of one right
// after the other's, the page cache warmed by both first.
void againstCat(benchmark::State& state, const std::function<bool()>& run) {
    const QStringList names = makeAnswerFolder();
    if (names.size() != fileCount || !KimRegister::build() ||
        writeTransferStatement(codes).status != StatementStatus::Written) {
        state.SkipWithError("could not make the answer files, the KIM register or the list");
        return;
    }
    std::vector<std::string> paths;
    for (const QString& name : names) {
        paths.push_back(QString("out/" + name).toStdString());
    }
    if (!catToNull(paths) || !run()) {
        state.SkipWithError("cat or the run failed");
        return;
    }
    double catSeconds = 0;
    double readSeconds = 0;
    double runSeconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (!catToNull(paths)) {
            state.SkipWithError("cat failed");
            return;
        }
        catSeconds += secondsSince(start);
        start = std::chrono::steady_clock::now();
        if (!readOnly(paths)) {
            state.SkipWithError("reading failed");
            return;
        }
        readSeconds += secondsSince(start);
        start = std::chrono::steady_clock::now();
        const bool done = run();
        const double seconds = secondsSince(start);
        if (!done) {
            state.SkipWithError("the run failed");
            return;
        }
        runSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["cat_ms"] = 1000 * catSeconds / iterations;
    state.counters["run_ms"] = 1000 * runSeconds / iterations;
    state.counters["read_ms"] = 1000 * readSeconds / iterations;
    state.counters["ratio_to_cat"] = runSeconds / catSeconds;
    state.counters["ratio_to_read"] = runSeconds / readSeconds;
    state.SetBytesProcessed(state.iterations() * fileCount * fileBytes);
}

void StatementAgainstCat(benchmark::State& state) {
    againstCat(state,
               [] { return writeTransferStatement(codes).status == StatementStatus::Written; });
}

// Every file must be read and found matching, or the run does not count.
void TransferCheckAgainstCat(benchmark::State& state) {
    againstCat(state, [] {
        const TransferCheckResult result = TransferCheck("out").run();
        return result.status == CheckStatus::Checked &&
               static_cast<int>(result.files.size()) == fileCount &&
               std::none_of(result.files.begin(), result.files.end(),
                            [](const CheckedFile& file) { return isFailure(file.verdict); });
    });
}

}  // namespace

BENCHMARK(StatementAgainstCat)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(TransferCheckAgainstCat)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

BENCHMARK_MAIN();
