#!/usr/bin/env bash
# The lost-sound-card tests at length: a minute of answer (EXAM_DEVICE_LOST_SECONDS, 60) before
# the sound server's sink is unloaded or the server is killed, the loss at several points of the
# block in hand (EXAM_DEVICE_LOST_OFFSETS_MS), SOAK_REPEAT (2) times at each. Uses the build in
# build/ (scripts/build.sh) or the folder given.
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
export EXAM_DEVICE_LOST_SECONDS="${EXAM_DEVICE_LOST_SECONDS:-60}"
for offset in ${EXAM_DEVICE_LOST_OFFSETS_MS:-0 300 1000 1700 1950}; do
    echo "== loss ${offset} ms into the block"
    EXAM_DEVICE_LOST_OFFSET_MS="$offset" "$build/bin/recorder_tests" \
        --gtest_filter='*/DeviceLostTest.*' --gtest_repeat="${SOAK_REPEAT:-2}" \
        --gtest_break_on_failure
done
