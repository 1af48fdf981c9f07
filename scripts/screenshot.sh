#!/usr/bin/env bash
# Takes docs/main-window.png: Velmora's main window on a private Xvfb.
# Usage: scripts/screenshot.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
display=:$((100 + RANDOM % 400))
home=$(mktemp -d)
trap 'kill "${velmora:-}" "${xvfb:-}" "${web:-}" 2>/dev/null || true; rm -rf "$home"' EXIT

# An update document announcing a newer version, so that the picture shows the Download button.
mkdir -p "$home/www/velmora"
echo '{"version":"1.1.0","downloadurl":"https://velmora.example.org/download"}' \
  >"$home/www/velmora/info.php"
port=$((20000 + RANDOM % 20000))
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$home/www" >/dev/null 2>&1 &
web=$!
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.2; done

Xvfb "$display" -nolisten tcp -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=$display HOME=$home XDG_CONFIG_HOME=$home XDG_RUNTIME_DIR=$home QT_QPA_PLATFORM=xcb \
  VELMORA_UPDATE_ENDPOINT="http://127.0.0.1:$port/velmora/info.php" \
  "$build/app/shell/Velmora" >/dev/null 2>&1 &
velmora=$!
sleep 3
geometry=$(DISPLAY=$display xwininfo -root -tree | awk '/\("Velmora" "Velmora"\)/ {print $(NF-1); exit}')
[ -n "$geometry" ] || { echo "Velmora did not show its window" >&2; exit 1; }
DISPLAY=$display import -window root "$home/root.png"
mkdir -p "$root/docs"
convert "$home/root.png" -crop "${geometry%%+*}+0+0" +repage "$root/docs/main-window.png"
echo "wrote docs/main-window.png ($geometry)"
