// Building the KIM number register happens during the main window's first paint, so it must
// stay well under a frame or two (target: 20 ms); a lookup is one conversion and one read.
#include <benchmark/benchmark.h>

#include <QString>

#include "session/KimRegister.h"

namespace {

void BuildRegister(benchmark::State& state) {
    for (auto _ : state) {
        if (!KimRegister::build()) {
            state.SkipWithError("no memory for the table");
            return;
        }
        benchmark::DoNotOptimize(KimRegister::table());
    }
}

void LookUpKimNumber(benchmark::State& state) {
    if (!KimRegister::build()) {
        state.SkipWithError("no memory for the table");
        return;
    }
    const QString numbers[] = {QStringLiteral("1234565"), QStringLiteral("1234560"),
                               QStringLiteral("9999999"), QStringLiteral("0000017")};
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(KimRegister::contains(numbers[next++ % 4]));
    }
}

}  // namespace

BENCHMARK(BuildRegister)->Unit(benchmark::kMillisecond);
BENCHMARK(LookUpKimNumber);

BENCHMARK_MAIN();
