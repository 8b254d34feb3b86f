#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with apt-get, checks what it installed
# and that the installed program starts and finds its two libraries, then removes it again.
# Run after scripts/test.sh (it needs the packages scripts/install-deps.sh installs), as root or
# as a user who may use sudo:  scripts/package-check.sh [BUILD-FOLDER]  (default: build)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$repo/build}")"
package=exam-recorder

fail() {
  echo "package-check: $*" >&2
  exit 1
}

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
else
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

for tool in cmake cpack dpkg-deb dpkg-architecture dpkg-parsechangelog lintian \
  desktop-file-validate file readelf apt-get; do
  command -v "$tool" >/dev/null || fail "$tool is missing; run scripts/install-deps.sh test"
done
installed_status() { dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true; }
if [ "$(installed_status)" = installed ]; then
  fail "$package is installed already; this check installs and removes it, so remove it first"
fi

work="$(mktemp -d)"
program_pid=""
installed_here=false
stop_program() {
  [ -n "$program_pid" ] || return 0
  kill "$program_pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$program_pid" 2>/dev/null || true
  wait "$program_pid" 2>/dev/null || true
  program_pid=""
}
cleanup() {
  stop_program
  if $installed_here; then
    "${sudo[@]}" apt-get remove -y -qq "$package" >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== building the package in $build"
generator=()
[ -f "$build/CMakeCache.txt" ] || generator=(-G Ninja)
cmake -S "$repo" -B "$build" "${generator[@]}" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -rf "$build/deb"
(cd "$build" && cpack -G DEB -B "$build/deb" >/dev/null)
debs=("$build"/deb/"$package"_*.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || fail "expected one $package .deb in $build/deb"
deb="${debs[0]}"
echo "   $deb"

echo "== control fields"
field() { dpkg-deb --field "$deb" "$1"; }
version="$(field Version)"
[ "$(field Package)" = "$package" ] || fail "package name is $(field Package)"
[ "$(field Section)" = sound ] || fail "section is $(field Section), not sound"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
  fail "architecture is $(field Architecture)"
changelog_version="$(dpkg-parsechangelog -l "$repo/packaging/changelog" -S Version)"
[ "$changelog_version" = "$version" ] ||
  fail "packaging/changelog's latest entry is $changelog_version, the package is $version"
depends=" $(field Depends | sed -e 's/([^)]*)//g' -e 's/[,|]/ /g') "
for needed in libqt6widgets6 libqt6gui6 libqt6core6 libqt6dbus6 libasound2 libmp3lame0 \
  libmpg123-0 libout123-0 mpg123 libasound2-plugins qt6-qpa-plugins; do
  [[ "$depends" == *" $needed "* ]] || fail "Depends lacks $needed: $(field Depends)"
done

echo "== lintian"
lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"

echo "== installing"
installed_here=true
"${sudo[@]}" apt-get install -y -qq "$deb" >/dev/null
declare -A listed=()
while IFS= read -r path; do listed["$path"]=1; done < <(dpkg -L "$package")
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
libdir="/usr/lib/$multiarch/$package"
launcher="/usr/libexec/$package/launcher"
desktop="/usr/share/applications/$package.desktop"
icon_sizes=(16 32 48 64 128 256)
expected=("/usr/bin/$package" "$libdir/liblame_enc.so" "$libdir/libbass.so" "$launcher"
  "$desktop" "/usr/share/man/man1/$package.1.gz" "/usr/share/doc/$package/copyright"
  "/usr/share/doc/$package/changelog.gz")
for size in "${icon_sizes[@]}"; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/$package.png")
done
for path in "${expected[@]}"; do
  [ -n "${listed[$path]:-}" ] || fail "dpkg -L $package lacks $path"
  [ -f "$path" ] || fail "$path is listed but not on disk"
done
for size in "${icon_sizes[@]}"; do
  path="/usr/share/icons/hicolor/${size}x${size}/apps/$package.png"
  [[ "$(file -b "$path")" == "PNG image data, $size x $size,"* ]] ||
    fail "$path is not a ${size}x$size PNG: $(file -b "$path")"
done

echo "== desktop entry"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
# The value of key $1 in group $2 (the main group unless named).
entry() {
  awk -v key="$1=" -v group="[${2:-Desktop Entry}]" '/^\[/ { inside = ($0 == group) }
    inside && index($0, key) == 1 { print substr($0, length(key) + 1) }' "$desktop"
}
[ "$(entry Exec)" = "$launcher" ] || fail "Exec is $(entry Exec), not $launcher"
verify_group="Desktop Action verify"
[ "$(entry Actions)" = "verify;" ] || fail "Actions is $(entry Actions), not verify;"
[ "$(entry Exec "$verify_group")" = "/usr/bin/$package --verify-window" ] ||
  fail "the check action's Exec is $(entry Exec "$verify_group")"
[ "$(entry 'Name[ru]' "$verify_group")" = "Проверить перенесённые ответы" ] ||
  fail "the check action's Russian Name is $(entry 'Name[ru]' "$verify_group")"
[ -x "$launcher" ] || fail "$launcher is not executable"
[ "$(entry Icon)" = "$package" ] || fail "Icon is $(entry Icon), not $package"
[[ -n "$(entry 'Name[ru]')" && -n "$(entry 'Comment[ru]')" ]] ||
  fail "the desktop entry has no Russian Name or Comment"
categories=";$(entry Categories)"
[[ "$categories" == *";AudioVideo;"* && "$categories" == *";Recorder;"* ]] ||
  fail "Categories is $(entry Categories)"

echo "== the installed program's command line"
# No display at all: these must print and exit without reaching for a window.
headless=(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb)
output="$("${headless[@]}" "/usr/bin/$package" --version)" || fail "--version failed"
[ "$(head -n1 <<<"$output")" = "$package $version" ] ||
  fail "--version printed '$output', not '$package $version' first"
[[ "$output" == *GPL-3.0-or-later* ]] || fail "--version does not name the licence"
output="$("${headless[@]}" "/usr/bin/$package" --help)" || fail "--help failed"
for mention in --version --help --verify --verify-window ppe.txt out \~/exam-recorder; do
  [[ "$output" == *"$mention"* ]] || fail "--help does not mention $mention"
done
output="$(HOME="$work/home" "${headless[@]}" "$launcher" --version)" || fail "launcher failed"
[ "$(head -n1 <<<"$output")" = "$package $version" ] ||
  fail "the launcher's --version printed '$output'"
[ -d "$work/home/exam-recorder" ] || fail "the launcher did not make ~/exam-recorder"

echo "== where the installed program finds its libraries"
runpath="$(readelf -d "/usr/bin/$package" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p')"
[ -n "$runpath" ] || fail "/usr/bin/$package has no RUNPATH"
[ "$(readlink -f "${runpath//\$ORIGIN//usr/bin}")" = "$libdir" ] ||
  fail "RUNPATH $runpath does not lead to $libdir"
# The libraries are dlopen'ed during start-up, so only a real start shows where they come
# from; from the menu's launcher, which must also leave the program in the working folder.
mkdir -p "$work/menu-home"
HOME="$work/menu-home" LD_DEBUG=libs QT_QPA_PLATFORM=offscreen "$launcher" \
  >"$work/start.out" 2>"$work/start.log" &
program_pid=$!
loaded_from() {
  sed -n "s/^ *[0-9]*:[[:space:]]*calling init: \(.*\/$1\)$/\1/p" "$work/start.log" | head -n1
}
for _ in $(seq 300); do
  [ -n "$(loaded_from libbass.so)" ] && break
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
encoder="$(loaded_from liblame_enc.so)"
player="$(loaded_from libbass.so)"
[[ -n "$encoder" && -n "$player" ]] ||
  fail "the installed program did not load both libraries; its output ends with:
$(tail -n 20 "$work/start.out" "$work/start.log")"
[ "$(readlink -f "$encoder")" = "$libdir/liblame_enc.so" ] || fail "liblame_enc.so came from $encoder"
[ "$(readlink -f "$player")" = "$libdir/libbass.so" ] || fail "libbass.so came from $player"
echo "   liblame_enc.so: $encoder"
echo "   libbass.so:     $player"
cwd="$(readlink "/proc/$program_pid/cwd")" || fail "the program ended during start-up"
[ "$cwd" = "$work/menu-home/exam-recorder" ] || fail "the program runs in $cwd"
stop_program

echo "== removing"
"${sudo[@]}" apt-get remove -y -qq "$package" >/dev/null
installed_here=false
[ "$(installed_status)" != installed ] || fail "$package is still installed"
for path in "${expected[@]}" "$libdir" "/usr/libexec/$package"; do
  [ ! -e "$path" ] || fail "$path is left behind after removal"
done
echo "package-check: $deb builds, installs, starts and uninstalls cleanly"
