# Inside the desktop test machine (scripts/vm-run.sh --host-root /): starts Xorg on the
# machine's keyboards and the game's stand-in under Wine, then runs DesktopKernelTest, its
# output framed for vm-case.sh. From desktop-vm.sh: VELMORA_XORG, the unpacked X server;
# WINEPREFIX; VELMORA_GAME, the stand-in; VELMORA_DESKTOP_TAP, the program that taps.
export DISPLAY=:0 VELMORA_GAME_LOG=/tmp/game.log
say() { echo "desktop: $* at $(cut -d' ' -f1 /proc/uptime) s"; }

LD_LIBRARY_PATH=$VELMORA_XORG/usr/lib/x86_64-linux-gnu "$VELMORA_XORG/usr/lib/xorg/Xorg" :0 \
  -config /velmora/xorg.conf -modulepath "$VELMORA_XORG/usr/lib/xorg/modules" -nolisten tcp \
  -noreset -logfile /tmp/Xorg.log vt1 -keeptty >/dev/null 2>&1 &
# Its socket is there long before it answers; a client that comes too early fails.
waited=0
until xdpyinfo >/dev/null 2>&1 || [ "$waited" -ge 300 ]; do
  sleep 0.5
  waited=$((waited + 1))
done
say "X answering"

# Wine runs only for the owner of its prefix. On a slow machine it may give up waiting for its
# desktop process; the game then ends at once, and is started again.
for attempt in 1 2 3; do
  setpriv --reuid="$(stat -c %u "$WINEPREFIX")" --regid="$(stat -c %g "$WINEPREFIX")" \
    --clear-groups env WINEDEBUG=fixme-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
    wine "$VELMORA_GAME" 'Z:\tmp\game.log' >>/tmp/wine.log 2>&1
done &

echo "@@@ begin DesktopKernelTest"
/velmora/bin/DesktopKernelTest --gtest_color=no
status=$?
echo "@@@ end DesktopKernelTest $status"
say "done"
if [ "$status" -ne 0 ] || ! grep -q ready /tmp/game.log; then
  echo "--- the X server's log"
  grep -E '\((EE|WW)\)|input device' /tmp/Xorg.log | grep -v dbus-core
  echo "--- Wine's output"
  cat /tmp/wine.log
fi
exit "$status"
