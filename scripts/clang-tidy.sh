#!/usr/bin/env bash
# Runs clang-tidy with the committed .clang-tidy over every source file of the program and its
# two libraries (not the tests), two files at a time, and fails on any warning.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$repo/build-tidy"
tidy="$(command -v clang-tidy-14 || command -v clang-tidy)"

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=OFF \
    -DBUILD_BENCHMARKS=OFF -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
# The sources include the forms' generated headers, which only a build makes.
cmake --build "$build" --target recorder_core_autogen

cd "$repo"
# The Windows back ends are not in this Linux build's compile commands.
mapfile -d '' sources < <(find app exam audio session report platform res lame_enc player \
    -name '*.cpp' -not -path 'platform/win32/*' -not -name '*_win32.cpp' -print0 | sort -z)
# One file per run, its findings printed together (without the count of warnings in headers
# outside the filter); xargs fails if any run found something.
printf '%s\0' "${sources[@]}" | xargs -0 -n1 -P2 bash -c '
    out="$("$0" -p "$1" --quiet --warnings-as-errors="*" "$2" 2>&1)" && status=0 || status=$?
    out="$(grep -Ev "^[0-9]+ warnings? generated\.$" <<<"$out" || true)"
    [ -z "$out" ] || printf "%s\n" "$out"
    exit "$status"' "$tidy" "$build"
echo "clang-tidy: ${#sources[@]} files, no findings"
