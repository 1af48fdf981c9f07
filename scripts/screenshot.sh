#!/usr/bin/env bash
# Takes the README's pictures of Velmora's main window on a private Xvfb, with six slot keys
# and two pairs recorded: docs/main-window.png with remapping off, docs/main-window-on.png with
# it switched on (waiting: nothing is in front) and the chat pause option chosen, docs/pairs.png
# with the Pairs tab, where the pair on a slot's key is marked. Needs Xvfb, xdotool and
# ImageMagick (scripts/install-deps.sh
# test).
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

mkdir -p "$home/Velmora"
cat >"$home/Velmora/Velmora.conf" <<'CONF'
[slots]
keypad7=Q
keypad8=W
keypad4=A
keypad5=S
keypad1=Z
keypad2=Shift+X

[pairs]
1=Tab>Escape
2=Q>F1
CONF

Xvfb "$display" -nolisten tcp -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=$display HOME=$home XDG_CONFIG_HOME=$home XDG_RUNTIME_DIR=$home QT_QPA_PLATFORM=xcb \
  VELMORA_UPDATE_ENDPOINT="http://127.0.0.1:$port/velmora/info.php" \
  "$build/app/shell/Velmora" >/dev/null 2>&1 &
velmora=$!
sleep 3
# The window's place on the screen; it grows and shrinks with what it says.
window_geometry() {
  DISPLAY=$display xwininfo -root -tree | awk '/\("Velmora" "Velmora"\)/ {print $(NF-1); exit}'
}
geometry=$(window_geometry)
[ -n "$geometry" ] || { echo "Velmora did not show its window" >&2; exit 1; }
mkdir -p "$root/docs"

shoot() {
  geometry=$(window_geometry)
  DISPLAY=$display import -window root "$home/root.png"
  convert "$home/root.png" -crop "$geometry" +repage "$root/docs/$1"
  echo "wrote docs/$1 ($geometry)"
}

shoot main-window.png
# Alt+R flips the switch, Alt+P the chat pause option.
window=$(DISPLAY=$display xdotool search --name '^Velmora$' | head -1)
DISPLAY=$display xdotool windowfocus --sync "$window"
DISPLAY=$display xdotool key --delay 200 alt+r alt+p
sleep 1
shoot main-window-on.png
# Alt+S shows the Pairs tab.
DISPLAY=$display xdotool key --delay 200 alt+s
sleep 1
shoot pairs.png
