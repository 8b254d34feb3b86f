#!/usr/bin/env bash
# The capture device's stop races at length: EXAM_STOP_RACE_CYCLES (200,000) start/stop cycles,
# about ten minutes. The run prints its seed; EXAM_STOP_RACE_SEED repeats its choices. Builds
# recorder_tests into build/ (or BUILD_DIR) first.
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_DIR:-$repo/build}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j"$(nproc)" --target recorder_tests
export EXAM_STOP_RACE_CYCLES="${EXAM_STOP_RACE_CYCLES:-200000}"
export QT_QPA_PLATFORM=offscreen
exec "$build/bin/recorder_tests" --gtest_filter='CaptureStopRaces.*'
