#!/usr/bin/env bash
# Builds the Debian package with the package preset of CMakePresets.json (a release build in
# build-package/), checks it (scripts/check-package.sh) and leaves it in the top folder:
#   sudo apt install ./velmora_<version>_amd64.deb
# Usage: scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" build package
cd "$root"
cmake --workflow --preset package
deb=$(ls -t build-package/velmora_*.deb | head -1)
"$root/scripts/check-package.sh" "$deb"
mv "$deb" "$root/"
echo "package: $root/$(basename "$deb")"
