#!/usr/bin/env bash
# Builds Velmora and starts it. Remapping needs access to /dev/input and /dev/uinput,
# which root has; started as another user Velmora still opens and says what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" "$root/build" -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF
if [ "$(id -u)" -ne 0 ]; then
  echo "Velmora needs root to read the keyboards and create its virtual keyboard; without it the" >&2
  echo "window opens and says what is missing. Run 'sudo scripts/start.sh', or install Velmora Launcher." >&2
fi
exec "$root/build/app/Velmora" "$@"
