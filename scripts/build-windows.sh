#!/usr/bin/env bash
# Builds the Windows program on Debian 12: installs the mingw-w64 cross tools and Wine, fetches
# the Debian source packages of Qt, LAME and mpg123, cross-builds the libraries into a cache
# outside the clone (keyed by their versions and build settings; scripts/windows/third-party.sh),
# builds the program, its two DLLs and its tests, and installs everything the program needs to
# run in build-windows/dist/ (scripts/windows/program.sh); runs the tests under Wine
# (scripts/windows/test.sh).
#   scripts/build-windows.sh            all of it
#   scripts/build-windows.sh libraries  only the cross-built libraries (the cache)
#   scripts/build-windows.sh installer  build-windows/exam-recorder-setup.exe of dist/ (in all)
#   scripts/build-windows.sh test       the tests under Wine, after all of it (not in all)
#   scripts/build-windows.sh bench [ARGS]  the exam sink's benchmark under Wine (not in all)
# EXAM_WINDOWS_CACHE names the cache (default ~/.cache/exam-recorder-windows), EXAM_WINDOWS_BUILD
# the build folder (default build-windows/ in the clone).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cache="${EXAM_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/exam-recorder-windows}"
build_dir="${EXAM_WINDOWS_BUILD:-$repo/build-windows}"
jobs="$(nproc)"
triplet=x86_64-w64-mingw32
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
mkdir -p "$cache/src"

source "$repo/scripts/windows/third-party.sh"
source "$repo/scripts/windows/program.sh"
source "$repo/scripts/windows/test.sh"

case "${1:-all}" in
  tools) install_tools ;;
  qt) build_qt ;;
  lame) build_lame ;;
  mpg123) build_mpg123 ;;
  libraries)
    build_qt
    build_lame
    build_mpg123
    ;;
  audio-prefix) audio_prefix ;;
  program) build_program ;;
  installer) build_installer ;;
  test) run_windows_tests ;;
  bench) shift; run_windows_bench "$@" ;;
  all)
    install_tools
    build_qt
    build_lame
    build_mpg123
    build_program
    build_installer
    ;;
  *)
    echo "usage: $0 [all|tools|libraries|qt|lame|mpg123|program|installer|test|bench|audio-prefix]" >&2
    exit 2
    ;;
esac
