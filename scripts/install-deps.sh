#!/usr/bin/env bash
# Installs the Debian 12 packages Velmora needs to build, run, test and benchmark.
# Only missing packages are installed, so a second run is quick and needs no network.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang-format
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libssl-dev libevdev-dev libudev-dev libsystemd-dev libxcb1-dev
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  xvfb x11-utils xauth imagemagick xdotool fonts-wqy-microhei python3
  pkexec policykit-1 xdg-utils
  locales
  nginx curl openssl
  qemu-system-x86 busybox-static xz-utils interception-tools
  # the game's Win32 stand-in, built with mingw-w64 and run under Wine
  gcc-mingw-w64-x86-64 wine wine64
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
