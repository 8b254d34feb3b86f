#!/usr/bin/env bash
# Installs every build, run and test dependency from Debian 12's own packages.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build git
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n qt6-multimedia-dev
  libqt6multimedia6 gstreamer1.0-plugins-good gstreamer1.0-pulseaudio
  libasound2-dev libasound2-plugins alsa-utils
  libmp3lame-dev libmpg123-dev mpg123 lame
  libgtest-dev libgmock-dev libbenchmark-dev
  pulseaudio pulseaudio-utils espeak-ng sox
  xvfb xauth fonts-dejavu-core clang-format clang-tidy chromium
  python3 dpkg-dev desktop-file-utils lintian file qt6-qpa-plugins
  clang libclang-rt-14-dev llvm
)

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
else
  sudo=(sudo)
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
