#!/usr/bin/env bash
# A three-hour exam with 100 answers at full speed through the window, the real encoder library
# and real files (exam_soak; ctest runs ten minutes of it): a few minutes, about 200 MB written
# to a temporary folder under TMPDIR (/tmp) and removed afterwards. Arguments go to exam_soak
# (--minutes N, --answers M). Builds exam_soak into build/ (or BUILD_DIR) first.
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_DIR:-$repo/build}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j"$(nproc)" --target exam_soak
work="$(mktemp -d "${TMPDIR:-/tmp}/exam-soak.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
"$build/bin/exam_soak" --minutes 180 --answers 100 "$@" "$work"
