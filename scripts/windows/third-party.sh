# The Windows build's tools and third-party libraries: Debian's mingw-w64 cross tools and Wine,
# and Qt, LAME, mpg123 and Google Benchmark cross-built from Debian's source packages into the
# cache, keyed by their versions and build settings. Sourced by scripts/build-windows.sh.

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
# built in. LAME's configure adds its own optimisation only for a GCC whose version it
# recognises, which no GCC of today's is, and with no CFLAGS it compiles unoptimised: it gets
# the optimisation Debian's build gives it.
lame_options=(
  --disable-frontend --disable-decoder --disable-gtktest --disable-rpath CFLAGS=-O2
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
