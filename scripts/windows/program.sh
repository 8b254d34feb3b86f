# The Windows program over the cross-built libraries: its build, dist/ gathered by the install
# rules (cmake/WindowsRuntime.cmake) and the installer of dist/. Sourced by
# scripts/build-windows.sh.

# Configures and builds the program's tree in FOLDER over the cross-built libraries and those
# under the extra PREFIXES (;-separated, may be empty), with the CMake options that follow
# (`--` ends them; what comes after is for the build: targets).
build_tree() {
  local folder="$1" prefixes="$2" audio configure=()
  shift 2
  while [ $# -gt 0 ] && [ "$1" != -- ]; do configure+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  audio="$(audio_prefix)"
  PKG_CONFIG_LIBDIR="$audio/lib/pkgconfig" PKG_CONFIG_PATH="" \
    "$(qt_prefix)/bin/qt-cmake" -S "$repo" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$toolchain" -DEXAM_WINDOWS_PREFIX="$audio${prefixes:+;$prefixes}" \
    "${configure[@]}"
  PKG_CONFIG_LIBDIR="$audio/lib/pkgconfig" cmake --build "$folder" -j"$jobs" "$@"
}

# The programs in bin/ with what they need beside them, and dist/: the program as it is
# installed.
build_program() {
  build_tree "$build_dir" "" -DBUILD_TESTING=ON -DBUILD_BENCHMARKS=OFF
  local dist="$build_dir/dist"
  rm -rf "$dist"
  cmake --install "$build_dir" --prefix "$dist" >/dev/null
  echo "The Windows program and what it needs to run: $dist"
}

# The installer of dist/, whose uninstaller removes exactly dist's files and folders: the 32-bit
# one to give out, and the same as a 64-bit program for a Wine without its 32-bit part.
build_installer() {
  local dist="$build_dir/dist" list="$build_dir/installer-removal.nsh" version target out
  (cd "$dist" && find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|Delete "$INSTDIR\\&"|' &&
    find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|RMDir "$INSTDIR\\&"|') \
    > "$list"
  version="$(sed -n 's/^project(exam_recorder VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")"
  for target in x86-unicode amd64-unicode; do
    out="$build_dir/exam-recorder-setup.exe"
    [ "$target" = x86-unicode ] || out="$build_dir/exam-recorder-setup-x64.exe"
    makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DDIST="$dist" -DUNINSTALL_LIST="$list" \
      -DSIZE_KB="$(du -sk "$dist" | cut -f1)" -DTARGET="$target" -DOUTFILE="$out" \
      "$repo/packaging/windows/exam-recorder.nsi"
  done
  echo "The installer: $build_dir/exam-recorder-setup.exe (for a Wine without 32-bit programs:" \
    "exam-recorder-setup-x64.exe)"
}
