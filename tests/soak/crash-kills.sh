#!/usr/bin/env bash
# The crash test at length: EXAM_CRASH_KILLS (200) kills of the recorder, each at a random moment
# up to EXAM_CRASH_MAX_SECONDS (30) s into an answer, one after another; about an hour with these.
# Then EXAM_CRASH_CLOSES (50) closes of the program ("Закрыть программу?" answered Yes) at random
# moments up to the same bound. EXAM_CRASH_SEED repeats a run. Builds recorder_tests into build/
# (or BUILD_DIR) first.
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_DIR:-$repo/build}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j"$(nproc)" --target recorder_tests
export EXAM_CRASH_KILLS="${EXAM_CRASH_KILLS:-200}"
export EXAM_CRASH_MAX_SECONDS="${EXAM_CRASH_MAX_SECONDS:-30}"
export EXAM_CRASH_CLOSES="${EXAM_CRASH_CLOSES:-50}"
exec "$build/bin/recorder_tests" \
    --gtest_filter='CrashKillTest.FilesPlayUpToShortlyBeforeEveryKill:CrashKillTest.ClosingMidAnswerKeepsTheSoundUpToTheClose'
