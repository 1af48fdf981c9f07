#!/usr/bin/env bash
# Builds everything (benchmarks included) and runs every test, after checking the format.
# Usage: scripts/test.sh [build-dir] [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build"}
shift || true
"$root/scripts/install-deps.sh"
"$root/scripts/check-format.sh"
"$root/scripts/build.sh" "$dir" -DVELMORA_BUILD_TESTS=ON -DVELMORA_BUILD_BENCH=ON "$@"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
