#!/usr/bin/env bash
# Usage: scripts/build.sh [build-dir] [extra cmake options...]
# Installs what is missing, configures and builds. Default build dir: build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build"}
shift || true
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
