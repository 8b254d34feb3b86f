#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
"$repo/scripts/install-deps.sh"
"$repo/scripts/build.sh"
cd "$repo/build"
ctest --output-on-failure -j"$(nproc)"
