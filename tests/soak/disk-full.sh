#!/usr/bin/env bash
# The disk-full tests at length: the exam a minute (EXAM_DISK_FULL_LEAD_BLOCKS, 30 blocks)
# ahead of the answer, and ten minutes of answer (EXAM_DISK_FULL_ANSWER_BLOCKS, 300) before the
# ALL file meets the limit, SOAK_REPEAT (3) times. Uses the build in build/ (scripts/build.sh)
# or the folder given.
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
export EXAM_DISK_FULL_LEAD_BLOCKS="${EXAM_DISK_FULL_LEAD_BLOCKS:-30}"
export EXAM_DISK_FULL_ANSWER_BLOCKS="${EXAM_DISK_FULL_ANSWER_BLOCKS:-300}"
# Through a pipe: the test's file-size limit would cut short a log file written directly.
"$build/bin/recorder_tests" --gtest_filter='DiskFullTest.*' --gtest_repeat="${SOAK_REPEAT:-3}" \
    --gtest_break_on_failure 2>&1 | cat
