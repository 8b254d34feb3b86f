#!/usr/bin/env bash
# Builds the Windows program on Debian 12: installs the mingw-w64 cross tools and Wine, fetches
# the Debian source packages of Qt, LAME, mpg123 and GoogleTest, cross-builds the libraries into
# a cache outside the clone (keyed by their versions and build settings), builds the program, its
# two DLLs and its tests, and gathers everything the program needs to run in build-windows/dist/.
#   scripts/build-windows.sh            all of it
#   scripts/build-windows.sh libraries  only the cross-built libraries (the cache)
#   scripts/build-windows.sh installer  build-windows/exam-recorder-setup.exe of dist/ (in all)
#   scripts/build-windows.sh bench [ARGS]  the exam sink's benchmark under Wine (not in all)
# EXAM_WINDOWS_CACHE names the cache (default ~/.cache/exam-recorder-windows).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cache="${EXAM_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/exam-recorder-windows}"
jobs="$(nproc)"
triplet=x86_64-w64-mingw32
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
mkdir -p "$cache/src"

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi

install_tools() {
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update
  "${sudo[@]}" apt-get install -y --no-install-recommends \
    build-essential cmake ninja-build pkg-config dpkg-dev autoconf automake libtool \
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools \
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n python3 wine64 wine nsis xvfb xauth \
    xdotool xclip fonts-wine
}

# apt with a private list of Debian's source packages, from the same archive apt already uses.
apt_source() {
  local apt_dir="$cache/apt"
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/archives/partial"
  sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
    > "$apt_dir/sources/debian-src.sources"
  local options=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$apt_dir/sources"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives")
  if [ ! -e "$apt_dir/lists/.updated" ]; then
    apt-get "${options[@]}" update
    touch "$apt_dir/lists/.updated"
  fi
  (cd "$cache/src" && apt-get "${options[@]}" source --download-only "$@")
}

# Unpacks a source package (with Debian's patches) once; prints its folder.
unpacked_source() {
  local package="$1" dsc
  dsc="$(ls "$cache/src/${package}_"*.dsc 2>/dev/null | head -n1 || true)"
  if [ -z "$dsc" ]; then
    # The archive may lack an upstream signature (.asc) that the .dsc names; apt has checked
    # what it fetched against the archive's signed index all the same.
    apt_source "$package" >&2 || true
    dsc="$(ls "$cache/src/${package}_"*.dsc | head -n1)"
  fi
  local version folder
  version="$(basename "$dsc" .dsc)"
  version="${version#"${package}_"}"
  folder="$cache/src/$package-$version"
  if [ ! -d "$folder" ]; then
    dpkg-source --no-check -x "$dsc" "$folder.tmp" >&2
    mv "$folder.tmp" "$folder"
  fi
  echo "$folder"
}

source_version() { basename "$1" | sed 's/^[^-]*-//; s/^base-//'; }

# qtbase with only what the program and its tests use: Core, Gui, Widgets, Test, the Windows
# platform plugin and the Windows styles.
qt_options=(
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_icu=OFF -DFEATURE_testlib=ON
  -DFEATURE_sql_sqlite=OFF -DFEATURE_system_sqlite=OFF
  # wintab.h is not in the Debian tarball nor in mingw-w64.
  -DFEATURE_tabletevent=OFF
  # 6.4's Windows platform plugin does not compile without OpenGL; it is loaded dynamically.
  -DFEATURE_opengl_dynamic=ON
  # Without Direct2D, 6.4 builds no DirectWrite font database but its plugin still wants one.
  -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_gif=OFF -DFEATURE_jpeg=OFF -DFEATURE_ico=OFF -DFEATURE_imageformat_bmp=ON
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_jpeg=OFF
)

# The cache's folder for NAME, the build of source package PACKAGE with the options that follow,
# keyed by its version and those options.
cached_prefix() {
  local name="$1" package="$2" version key
  shift 2
  version="$(source_version "$(unpacked_source "$package")")"
  key="$(printf '%s\n' "$@" | sha256sum | cut -c1-12)"
  echo "$cache/$name-$version-$key"
}

qt_prefix() { cached_prefix qt qt6-base "${qt_options[@]}"; }

build_qt() {
  local source prefix
  source="$(unpacked_source qt6-base)"
  prefix="$(qt_prefix)"
  [ -e "$prefix/.complete" ] && return
  # An interrupted build goes on where it stopped.
  local build="$cache/build/qtbase"
  cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=ON "${qt_options[@]}"
  cmake --build "$build" -j"$jobs"
  cmake --install "$build"
  rm -rf "$build"
  touch "$prefix/.complete"
}

# LAME's encoder and mpg123's decoder and output libraries, static only: they are linked into
# lame_enc.dll and bass.dll, so neither needs another DLL shipped beside it. Frontends, the LAME
# decoder and mpg123's loadable output modules are left out; out123 has only the winmm output,
# built in.
lame_options=(
  --disable-frontend --disable-decoder --disable-gtktest --disable-rpath
)
mpg123_options=(
  --with-cpu=x86-64 --enable-modules=no --with-audio=win32 --with-default-audio=win32
  --enable-network=no --with-network=none
)
audio_common_options=(
  --host="$triplet" --enable-static --disable-shared --disable-dependency-tracking
)

audio_prefix() {
  local lame mpg123 key
  lame="$(source_version "$(unpacked_source lame)")"
  mpg123="$(source_version "$(unpacked_source mpg123)")"
  key="$(printf '%s\n' "${audio_common_options[@]}" -- "${lame_options[@]}" -- \
    "${mpg123_options[@]}" | sha256sum | cut -c1-12)"
  echo "$cache/audio-libs-$lame-$mpg123-$key"
}

# Runs configure for the Windows host, finding nothing of the build machine through pkg-config.
audio_configure() {
  local source="$1" prefix="$2"
  shift 2
  CC="$triplet-gcc-posix" PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH= \
    "$source/configure" --prefix="$prefix" "${audio_common_options[@]}" "$@"
}

# With only static libraries in the prefix, what they need from the system belongs in Libs, so
# a plain pkg-config query (CMake's) links them completely.
static_pkgconfig() {
  local file private
  for file in "$@"; do
    private="$(sed -n 's/^Libs\.private:[[:space:]]*//p' "$file")"
    sed -i -e '/^Libs\.private:/d' -e "s|^Libs:.*|& $private|" "$file"
  done
}

audio_complete() {
  local prefix="$1"
  if [ -e "$prefix/.complete-lame" ] && [ -e "$prefix/.complete-mpg123" ]; then
    touch "$prefix/.complete"
  fi
}

build_lame() {
  local source prefix
  source="$(unpacked_source lame)"
  prefix="$(audio_prefix)"
  [ -e "$prefix/.complete-lame" ] && return
  # Debian's patches change configure.in and Makefile.am, so regenerate, in a copy.
  local build="$cache/build/lame"
  rm -rf "$build"
  cp -a "$source" "$build"
  (cd "$build" && autoreconf -fi -Wnone >/dev/null &&
    audio_configure "$build" "$prefix" "${lame_options[@]}" &&
    make -C libmp3lame -j"$jobs" && make -C libmp3lame install && make -C include install)
  static_pkgconfig "$prefix/lib/pkgconfig/lame.pc"
  # lame.pc names only include/lame, and our sources include <lame/lame.h>.
  sed -i 's|^Cflags:.*|& -I${includedir}|' "$prefix/lib/pkgconfig/lame.pc"
  rm -f "$prefix/lib/libmp3lame.la"
  rm -rf "$build"
  touch "$prefix/.complete-lame"
  audio_complete "$prefix"
}

build_mpg123() {
  local source prefix
  source="$(unpacked_source mpg123)"
  prefix="$(audio_prefix)"
  [ -e "$prefix/.complete-mpg123" ] && return
  local build="$cache/build/mpg123"
  rm -rf "$build"
  mkdir -p "$build"
  # Only the libraries, their headers and pkg-config files: not the programs nor their manuals.
  (cd "$build" && audio_configure "$source" "$prefix" "${mpg123_options[@]}" &&
    make -j"$jobs" src/libmpg123/libmpg123.la src/libout123/libout123.la \
      src/libsyn123/libsyn123.la &&
    make install-libLTLIBRARIES install-includeHEADERS install-nodist_includeHEADERS \
      install-pkgconfigDATA)
  static_pkgconfig "$prefix/lib/pkgconfig/"{libmpg123,libout123,libsyn123}.pc
  # The built-in output's own system library (winmm) is missing from libout123.pc.
  local module_libs
  module_libs="$(sed -n 's/^WIN32_LIBS = //p' "$build/Makefile")"
  sed -i "s|^Libs:.*|& $module_libs|" "$prefix/lib/pkgconfig/libout123.pc"
  rm -f "$prefix/lib/"lib{mpg123,out123,syn123}.la
  rm -rf "$build"
  touch "$prefix/.complete-mpg123"
  audio_complete "$prefix"
}

# Google Benchmark, static, for the benchmarks under Wine (the bench stage only).
benchmark_options=(
  -DBUILD_SHARED_LIBS=OFF -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF
  -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_INSTALL_DOCS=OFF
)

benchmark_prefix() { cached_prefix benchmark benchmark "${benchmark_options[@]}"; }

build_benchmark() {
  local source prefix
  source="$(unpacked_source benchmark)"
  prefix="$(benchmark_prefix)"
  [ -e "$prefix/.complete" ] && return
  local build="$cache/build/benchmark" version
  version="$(source_version "$source")"
  rm -rf "$build"
  # Its version comes from Git, or from GIT_VERSION as Debian's own build passes it.
  cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DGIT_VERSION="${version%-*}" "${benchmark_options[@]}"
  cmake --build "$build" -j"$jobs"
  cmake --install "$build"
  rm -rf "$build"
  touch "$prefix/.complete"
}


# EXAM_WINDOWS_BUILD names the build folder (default build-windows/ in the clone).
build_dir="${EXAM_WINDOWS_BUILD:-$repo/build-windows}"
mingw_runtime() {
  local gcc_dir
  gcc_dir="$(dirname "$($triplet-g++-posix -print-libgcc-file-name)")"
  echo "$gcc_dir/libstdc++-6.dll" "$gcc_dir/libgcc_s_seh-1.dll" \
    "/usr/$triplet/lib/libwinpthread-1.dll"
}

# The DLLs every program of ours needs beside it: Qt's and the compiler's runtime.
program_runtime() {
  local qt
  qt="$(qt_prefix)"
  echo "$qt/bin/Qt6Core.dll" "$qt/bin/Qt6Gui.dll" "$qt/bin/Qt6Widgets.dll" $(mingw_runtime)
}

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

build_program() {
  local qt
  qt="$(qt_prefix)"
  build_tree "$build_dir" "" -DBUILD_TESTING=ON -DBUILD_BENCHMARKS=OFF
  # What the programs need beside them: Qt, its platform and style plugins, the compiler's
  # runtime. The tests run from bin/ with the same set (and the offscreen platform, Qt Test).
  local bin="$build_dir/bin" dist="$build_dir/dist"
  rm -rf "$dist"
  mkdir -p "$dist/platforms" "$dist/styles" "$bin/platforms" "$bin/styles"
  cp "$bin/exam-recorder.exe" "$bin/lame_enc.dll" "$bin/bass.dll" "$dist/"
  local runtime=($(program_runtime))
  cp "${runtime[@]}" "$dist/"
  cp "$qt/plugins/platforms/qwindows.dll" "$dist/platforms/"
  cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$dist/styles/"
  cp "${runtime[@]}" "$qt/bin/Qt6Test.dll" "$bin/"
  cp "$qt/plugins/platforms/qwindows.dll" "$qt/plugins/platforms/qoffscreen.dll" "$bin/platforms/"
  cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$bin/styles/"
  cp "$repo/LICENSE" "$dist/LICENSE.txt"
  # Qt's own Russian texts (the standard buttons), found through qt.conf beside the program.
  local folder
  for folder in "$dist" "$bin"; do
    mkdir -p "$folder/translations"
    cp /usr/share/qt6/translations/qtbase_ru.qm "$folder/translations/"
    printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n' \
      > "$folder/qt.conf"
  done
  echo "The Windows program and what it needs to run: $dist"
}

# The installer of dist/, whose uninstaller removes exactly dist's files and folders.
build_installer() {
  local dist="$build_dir/dist" list="$build_dir/installer-removal.nsh" version
  (cd "$dist" && find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|Delete "$INSTDIR\\&"|' &&
    find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|RMDir "$INSTDIR\\&"|') \
    > "$list"
  version="$(sed -n 's/^project(exam_recorder VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")"
  makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DDIST="$dist" -DUNINSTALL_LIST="$list" \
    -DSIZE_KB="$(du -sk "$dist" | cut -f1)" -DOUTFILE="$build_dir/exam-recorder-setup.exe" \
    "$repo/packaging/windows/exam-recorder.nsi"
  echo "The installer: $build_dir/exam-recorder-setup.exe"
}

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

# Tests of what only Linux has: lock files in folders held by flock(1), symbolic links (Qt makes
# shortcut files on Windows), and a library search that skips the program's own folder.
linux_only_tests=(
  "SingleInstanceLockTest.IsReleasedWhenTheHolderIsKilled"
  "SingleInstanceLockTest.TellsAnotherHolderFromAFolderWithoutLocks"
  "SystemStartupEnvironmentTest.FolderWithoutTheLibrariesFailsBothSteps"
  "SiteListFileTest.ReadsTheFileOrSaysItCannot"
  "ChecksumTest.FileDigestReadsTheWholeFileOrNothing"
)

run_windows_tests() {
  wine_prefix
  local filter
  filter="-$(IFS=:; echo "${linux_only_tests[*]}")"
  (cd "$build_dir" && wine bin/recorder_tests.exe --gtest_brief=1 --gtest_filter="$filter")
  # The program itself, against the Linux build's (scripts/build.sh).
  "$repo/tests/windows/command-line.sh" "$build_dir/dist/exam-recorder.exe" \
    "$repo/build/bin/exam-recorder"
  "$repo/tests/windows/window.sh" "$build_dir/dist/exam-recorder.exe"
  "$repo/tests/windows/installer.sh" "$build_dir/exam-recorder-setup.exe" "$build_dir/dist"
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
    --target exam_sink_bench lame_enc
  cp $(program_runtime) "$bench_dir/bin/"
  mkdir -p "$build_dir"
  wine_prefix
  # Its files go to the prefix's temporary folder: the build's disk, as with EXAM_BENCH_DIR=build
  # on Linux (a folder on Z: makes Wine complain that it cannot read the volume).
  (cd "$bench_dir" && wine bin/exam_sink_bench.exe "$@")
}

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
