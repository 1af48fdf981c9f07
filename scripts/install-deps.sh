#!/usr/bin/env bash
# Installs the Debian 12 packages of the kinds named, in one apt-get run:
#   build     what building and running Velmora needs (scripts/start.sh)
#   test      what only the tests and benchmarks need (scripts/test.sh)
#   package   what making and checking the Debian package needs (scripts/package.sh)
# Only missing packages are installed, so a second run is quick and needs no network.
# Nothing listed here may start or enable a service on the person's machine: servers and peers
# that the tests and benchmarks run (nginx, interception-tools, the X server of the test virtual
# machine) are unpacked into the cache by scripts/fetch-tools.sh instead.
# Usage: scripts/install-deps.sh KIND...
set -euo pipefail

build=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libssl-dev libevdev-dev libudev-dev libxcb1-dev libxcb-res0-dev libsystemd-dev
  # what Velmora Launcher starts Velmora with, and what opens addresses in the person's browser
  pkexec xdg-utils
)
test=(
  git clang-format
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  # the fuzz targets: clang's libFuzzer
  clang libclang-rt-14-dev
  # a private X server and what the tests and screenshots drive it with
  xvfb x11-utils xauth imagemagick xdotool fonts-wqy-microhei
  python3 locales curl openssl
  # the real-kernel virtual machine
  qemu-system-x86 busybox-static xz-utils
  # the game's Win32 stand-in, built with mingw-w64 and run under Wine
  gcc-mingw-w64-x86-64 wine wine64
  # tests only: the desktops the front-window watcher is tried on, and the system bus of the
  # launcher's real-polkit test (none of them starts or enables a service)
  openbox mutter sway xwayland dbus-daemon
  # the X client of the desktop tests in the virtual machine (the X server there is unpacked
  # into the cache by scripts/fetch-tools.sh, never installed)
  libxkbcommon-x11-dev
)
package=(
  dpkg-dev fakeroot lintian appstream
)

[ $# -gt 0 ] || { sed -n '2,10p' "$0" >&2 && exit 2; }
wanted=()
for kind in "$@"; do
  case $kind in
  build) wanted+=("${build[@]}") ;;
  test) wanted+=("${test[@]}") ;;
  package) wanted+=("${package[@]}") ;;
  *) echo "install-deps: unknown kind $kind" >&2 && exit 2 ;;
  esac
done

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
