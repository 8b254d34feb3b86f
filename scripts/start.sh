#!/usr/bin/env bash
# Installs what the recorder needs, builds it and starts it in the working folder, where
# ppe.txt is read and the recordings are written to out/.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
"$repo/scripts/install-deps.sh"
"$repo/scripts/build.sh"
workdir="${EXAM_RECORDER_WORKDIR:-$HOME/exam-recorder}"
mkdir -p "$workdir"
cd "$workdir"
exec "$repo/build/bin/exam-recorder"
