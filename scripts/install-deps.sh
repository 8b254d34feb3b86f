#!/usr/bin/env bash
# Installs dependencies from Debian 12's own packages:
#   scripts/install-deps.sh run    what building and running the recorder needs (start.sh)
#   scripts/install-deps.sh test   that and what the tests, sanitizers, fuzzing and the package
#                                  check need (test.sh)
# The run set holds no sound server: the recorder reaches the desktop's own (PipeWire or
# PulseAudio) through ALSA's pulse plugin. The test set brings the pulseaudio server the sound
# tests start privately; on a desktop running PipeWire, apt removes pipewire-alsa for it.
set -euo pipefail

run_packages=(
  build-essential cmake pkg-config ninja-build python3
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n qt6-multimedia-dev qt6-qpa-plugins
  libqt6multimedia6 gstreamer1.0-plugins-good gstreamer1.0-pulseaudio
  libasound2-dev libasound2-plugins
  libmp3lame-dev libmpg123-dev mpg123
)
test_packages=(
  git libgtest-dev libgmock-dev libbenchmark-dev lame alsa-utils strace
  pulseaudio pulseaudio-utils espeak-ng sox dbus python3-dbusmock
  xvfb xauth fonts-dejavu-core clang-format clang-tidy chromium
  dpkg-dev desktop-file-utils lintian file
  clang libclang-rt-14-dev llvm
)

case "${1:-}" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
else
  sudo=(sudo)
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
