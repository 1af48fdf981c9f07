#!/usr/bin/env bash
# Builds Velmora and starts it. Remapping needs access to /dev/input and /dev/uinput,
# which root has; started as another user Velmora still opens and says what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" "$root/build" -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF
exec "$root/build/app/Velmora" "$@"
