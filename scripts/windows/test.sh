# The Windows build's tests and benchmark under Wine. Sourced by scripts/build-windows.sh.

# A Wine prefix of the build's own, made once.
wine_prefix() {
  export WINEPREFIX="$build_dir/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -e "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Wine's own Tahoma, the dialog font every Windows has: without it Wine maps the dialogs' font
  # to whatever fontconfig lists first (here a maths font whose glyph boxes push line edits'
  # text out of sight).
  cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf \
    "$WINEPREFIX/drive_c/windows/Fonts/"
}

run_windows_tests() {
  wine_prefix
  # The tests of what only Linux has skip themselves.
  (cd "$build_dir" && wine bin/recorder_tests.exe --gtest_brief=1)
  # The program itself, against the Linux build's (scripts/build.sh).
  "$repo/tests/windows/command-line.sh" "$build_dir/dist/exam-recorder.exe" \
    "$repo/build/bin/exam-recorder"
  "$repo/tests/windows/window.sh" "$build_dir/dist/exam-recorder.exe"
  "$repo/tests/windows/installer.sh" "$build_dir/exam-recorder-setup.exe" \
    "$build_dir/exam-recorder-setup-x64.exe" "$build_dir/dist"
  # Recording and listening: the whole exam and a kill mid-answer, driven from the Linux test
  # program, whose private sound server Wine's PulseAudio driver reaches.
  EXAM_WINDOWS_DIST="$build_dir/dist" EXAM_RECORDER_BIN_DIR="$repo/build/bin" \
    "$repo/build/bin/recorder_tests" --gtest_filter='WineExamOnSoundServerTest.*'
  "$repo/scripts/clang-tidy.sh" windows
}

# The exam sink's benchmark under Wine, built in a folder of its own; arguments go to it.
run_windows_bench() {
  build_benchmark
  local bench_dir="$build_dir-bench"
  build_tree "$bench_dir" "$(benchmark_prefix)" -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=ON -- \
    --target exam_sink_bench lame_enc windows_runtime
  mkdir -p "$build_dir"
  wine_prefix
  # Its files go to the prefix's temporary folder: the build's disk, as with EXAM_BENCH_DIR=build
  # on Linux (a folder on Z: makes Wine complain that it cannot read the volume).
  (cd "$bench_dir" && wine bin/exam_sink_bench.exe "$@")
}
