#!/usr/bin/env bash
# Installs what building, testing and packaging need, fetches the servers the tests run, checks
# the format and that includes follow the layout of CONTRIBUTING.md, then configures, builds and
# runs every test with a preset of CMakePresets.json.
# Usage: scripts/test.sh [preset]   (default: default, in build/; CI uses ci)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-default}
"$root/scripts/install-deps.sh" build test package
"$root/scripts/fetch-tools.sh" >/dev/null
"$root/scripts/check-format.sh"
"$root/scripts/check-layout.py"
cd "$root"
CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)} cmake --workflow --preset "$preset"
