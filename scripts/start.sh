#!/usr/bin/env bash
# Installs what the recorder needs to build and run (no sound server, no test tools), builds
# the program and its two libraries, and starts it in the working folder, where ppe.txt is read
# and the recordings are written to out/.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
"$repo/scripts/install-deps.sh" run
cmake -S "$repo" -B "$repo/build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
    -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF
cmake --build "$repo/build" -j"$(nproc)"
workdir="${EXAM_RECORDER_WORKDIR:-$HOME/exam-recorder}"
mkdir -p "$workdir"
cd "$workdir"
exec "$repo/build/bin/exam-recorder"
