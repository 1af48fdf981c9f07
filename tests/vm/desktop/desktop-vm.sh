#!/usr/bin/env bash
# Runs DesktopKernelTest in a test virtual machine of its own, booted once for all its cases:
# this machine's root shared read-only, Debian's X server and a Wine prefix from the cache
# (scripts/vm-desktop-fetch.sh), and the programs named here in /velmora/bin.
# Usage: desktop-vm.sh RESULTS TEST-PROGRAM TAP-PROGRAM BROKER GAME-EXE
# RESULTS is what scripts/vm-run.sh fills for vm-case.sh; 77 when the machine cannot run here.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
results=$1 program=$2 tap=$3 broker=$4 game=$5

skip() {
  mkdir -p "$results"
  echo "desktop-vm: skipped: $*" | tee "$results/skipped" >&2
  exit 77
}
rm -rf "$results"
[ -f "$game" ] || skip "the game's stand-in was not built (mingw-w64 is missing)"
folders=$("$root/scripts/vm-desktop-fetch.sh") || {
  [ $? -eq 77 ] && skip "no X server or Wine prefix for the machine"
  exit 1
}

# Carried in like the programs: the machine's /tmp is its own, and a build tree may lie in the
# host's.
inside_game="/velmora/game/$(basename "$game")"
exec "$root/scripts/vm-run.sh" --out "$results" --host-root / --memory 2048 --timeout 1500 \
  --module uhid --module hid_generic \
  --scenario "$here/desktop-scenario.sh" --file "$here/xorg.conf:/velmora/xorg.conf" \
  --file "$program:/velmora/bin/DesktopKernelTest" --file "$broker:/velmora/bin/VelmoraBroker" \
  --file "$tap:/velmora/bin/$(basename "$tap")" --file "$game:$inside_game" \
  --env "VELMORA_DESKTOP_TAP=/velmora/bin/$(basename "$tap")" \
  --env "VELMORA_XORG=$(sed -n 1p <<<"$folders")" --env "WINEPREFIX=$(sed -n 2p <<<"$folders")" \
  --env "VELMORA_GAME=$inside_game"
