#!/usr/bin/env bash
# Configures and builds everything into build/ (program, libraries, tests, benchmarks).
set -euo pipefail
cd "$(dirname "$0")/.."
# Tests and benchmarks on, whatever an earlier scripts/start.sh left in the cache.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
    -DBUILD_TESTING=ON -DBUILD_BENCHMARKS=ON
cmake --build build -j"$(nproc)"
