#!/usr/bin/env bash
# Takes docs/main-window.png: Velmora's main window on a private Xvfb.
# Usage: scripts/screenshot.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
display=:$((100 + RANDOM % 400))
home=$(mktemp -d)
trap 'kill "${velmora:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$home"' EXIT

Xvfb "$display" -nolisten tcp -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=$display HOME=$home XDG_CONFIG_HOME=$home XDG_RUNTIME_DIR=$home QT_QPA_PLATFORM=xcb \
  "$build/app/Velmora" >/dev/null 2>&1 &
velmora=$!
sleep 3
geometry=$(DISPLAY=$display xwininfo -root -tree | awk '/\("Velmora" "Velmora"\)/ {print $(NF-1); exit}')
[ -n "$geometry" ] || { echo "Velmora did not show its window" >&2; exit 1; }
DISPLAY=$display import -window root "$home/root.png"
mkdir -p "$root/docs"
convert "$home/root.png" -crop "${geometry%%+*}+0+0" +repage "$root/docs/main-window.png"
echo "wrote docs/main-window.png ($geometry)"
