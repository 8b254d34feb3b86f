#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test: ctest, then the same
# tests under the sanitizers, clang-tidy and a short run of each fuzz target.
# EXAM_TESTS=quick stops after ctest.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
"$repo/scripts/install-deps.sh" test
"$repo/scripts/build.sh"
(cd "$repo/build" && ctest --output-on-failure -j"$(nproc)")
if [ "${EXAM_TESTS:-all}" = quick ]; then
  exit 0
fi
"$repo/scripts/sanitizers.sh"
"$repo/scripts/clang-tidy.sh"
"$repo/scripts/fuzz.sh" ci
