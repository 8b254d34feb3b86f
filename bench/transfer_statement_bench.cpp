// The statement over 1,000 answer files of 1 MiB each against `cat` of the same files, both
// from a warm page cache, in one run. Reading dominates both, so the ratio shows what the
// checksum, the audit and the writing add; target: ratio_to_cat at most 1.3.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <random>
#include <string>
#include <vector>

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

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void StatementAgainstCat(benchmark::State& state) {
    const QStringList names = makeAnswerFolder();
    if (names.size() != fileCount || !KimRegister::build()) {
        state.SkipWithError("could not make the answer files or the KIM register");
        return;
    }
    std::vector<std::string> paths;
    for (const QString& name : names) {
        paths.push_back(QString("out/" + name).toStdString());
    }
    // Warm the page cache with both readers before measuring.
    if (!catToNull(paths) || writeTransferStatement(codes).status != StatementStatus::Written) {
        state.SkipWithError("cat or the statement failed");
        return;
    }
    double catSeconds = 0;
    double statementSeconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (!catToNull(paths)) {
            state.SkipWithError("cat failed");
            return;
        }
        catSeconds += secondsSince(start);
        start = std::chrono::steady_clock::now();
        const StatementResult result = writeTransferStatement(codes);
        const double seconds = secondsSince(start);
        if (result.status != StatementStatus::Written) {
            state.SkipWithError("the statement failed");
            return;
        }
        statementSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["cat_ms"] = 1000 * catSeconds / iterations;
    state.counters["statement_ms"] = 1000 * statementSeconds / iterations;
    state.counters["ratio_to_cat"] = statementSeconds / catSeconds;
    state.SetBytesProcessed(state.iterations() * fileCount * fileBytes);
}

}  // namespace

BENCHMARK(StatementAgainstCat)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

BENCHMARK_MAIN();
