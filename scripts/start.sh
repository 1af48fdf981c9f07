#!/usr/bin/env bash
# Builds Velmora and starts it. Remapping needs root to open /dev/input and /dev/uinput: run as
# yourself, this builds as you (so the build folder stays yours) and starts Velmora through sudo;
# Velmora keeps root only in its keyboard broker and runs its window as you. Without sudo rights
# it starts Velmora as you all the same, and the window says what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" "$root/build" -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF
velmora=$root/build/app/shell/Velmora
if [ "$(id -u)" -ne 0 ]; then
  echo "Velmora needs root (sudo) to read the keyboards and create its virtual keyboard; its" >&2
  echo "window still runs as you." >&2
  if sudo -v; then exec sudo "$velmora" "$@"; fi
  echo "Without root the window opens and says what is missing; Velmora Launcher asks through polkit." >&2
fi
exec "$velmora" "$@"
