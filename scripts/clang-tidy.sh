#!/usr/bin/env bash
# Runs clang-tidy with the committed .clang-tidy over every source file of the program and its
# two libraries (not the tests), two files at a time, and fails on any warning.
#   scripts/clang-tidy.sh           the Linux build's sources
#   scripts/clang-tidy.sh windows   the Windows back ends, with the compile commands of
#                                   scripts/build-windows.sh's build and mingw-w64's headers
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
tidy="$(command -v clang-tidy-14 || command -v clang-tidy)"
cd "$repo"

if [ "${1:-}" = windows ]; then
  # The cross build's compile commands, less a flag of GCC's that clang does not know.
  build="$(mktemp -d)"
  trap 'rm -rf "$build"' EXIT
  sed 's/ -fno-keep-inline-dllexport//g' \
    "${EXAM_WINDOWS_BUILD:-$repo/build-windows}/compile_commands.json" > "$build/compile_commands.json"
  triplet=x86_64-w64-mingw32
  cxx="/usr/lib/gcc/$triplet/$("$triplet-g++-posix" -dumpversion)/include/c++"
  extra=(--extra-arg=--target=$triplet --extra-arg=-isystem"$cxx"
    --extra-arg=-isystem"$cxx/$triplet" --extra-arg=-isystem/usr/$triplet/include)
  mapfile -d '' sources < <(find platform/win32 player -name '*.cpp' \
    \( -path 'platform/win32/*' -o -name '*_win32.cpp' \) -print0 | sort -z)
else
  build="$repo/build-tidy"
  extra=()
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=OFF \
      -DBUILD_BENCHMARKS=OFF -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
  # The sources include the forms' generated headers, which only a build makes.
  cmake --build "$build" --target recorder_core_autogen
  # The Windows back ends are not in this Linux build's compile commands.
  mapfile -d '' sources < <(find app base exam audio session report platform res lame_enc player \
      -name '*.cpp' -not -path 'platform/win32/*' -not -name '*_win32.cpp' -print0 | sort -z)
fi
# One file per run, its findings printed together (without the count of warnings in headers
# outside the filter); xargs fails if any run found something.
printf '%s\0' "${sources[@]}" | xargs -0 -n1 -P2 bash -c '
    out="$("$0" -p "$1" --quiet --warnings-as-errors="*" "${@:2}" 2>&1)" && status=0 || status=$?
    out="$(grep -Ev "^[0-9]+ warnings? generated\.$" <<<"$out" || true)"
    [ -z "$out" ] || printf "%s\n" "$out"
    exit "$status"' "$tidy" "$build" "${extra[@]}"
echo "clang-tidy: ${#sources[@]} files, no findings"
