#!/usr/bin/env bash
# Installs what Velmora needs to build and run, builds it and starts it. Remapping needs root to
# open /dev/input and /dev/uinput: run as yourself, this builds as you (so the build folder stays
# yours) and starts Velmora through sudo; Velmora keeps root only in its keyboard broker and runs
# its window as you. Without sudo rights it starts Velmora as you all the same, and the window
# says what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" build
cd "$root"
cmake --preset app >/dev/null
cmake --build --preset app
velmora=$root/build/app/shell/Velmora
if [ "$(id -u)" -ne 0 ]; then
  echo "Velmora needs root (sudo) to read the keyboards and create its virtual keyboard; its" >&2
  echo "window still runs as you." >&2
  if sudo -v; then exec sudo "$velmora" "$@"; fi
  echo "Without root the window opens and says what is missing; Velmora Launcher asks through polkit." >&2
fi
exec "$velmora" "$@"
