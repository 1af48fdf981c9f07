#!/usr/bin/env bash
# Makes sure the desktop that the test virtual machine runs is at hand, and prints two folders,
# one a line:
#   Debian's X server with its dummy video and libinput input drivers, unpacked into the cache
#   by scripts/fetch-tools.sh (installing it would bring udev's service along). Run from there,
#   with LD_LIBRARY_PATH=<folder>/usr/lib/x86_64-linux-gnu and
#   -modulepath <folder>/usr/lib/xorg/modules.
#   A Wine prefix made once by this machine's Wine, owned by whoever ran this, kept in the cache
#   outside the tree (~/.cache/velmora-vm-desktop/wine), a folder per Wine version.
# The rest of the desktop (Wine, xkbcomp, the keyboard layouts) is this machine's own.
# Exits 77 when they cannot be had (no Wine here, or no package mirror and nothing cached).
# Usage: scripts/vm-desktop-fetch.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

cache=${XDG_CACHE_HOME:-$HOME/.cache}/velmora-vm-desktop

log() { echo "vm-desktop-fetch: $*" >&2; }
unavailable() {
  log "$*"
  exit 77
}

xserver() {
  local dir
  dir=$("$root/scripts/fetch-tools.sh" xorg)/xorg
  [ -x "$dir/usr/lib/xorg/Xorg" ] || unavailable "no X server in $dir and none could be fetched"
  echo "$dir"
}

# A prefix takes Wine a minute to make and is only read in the machine.
wine_prefix() {
  command -v wine >/dev/null && command -v wineserver >/dev/null || unavailable "Wine is not installed"
  local dir work
  dir=$cache/wine/$(wine --version 2>/dev/null | tr -c 'A-Za-z0-9.~+\n-' '_')
  if [ ! -f "$dir/system.reg" ]; then
    mkdir -p "$cache/wine"
    work=$(mktemp -d "$cache/wine/make.XXXXXX")
    log "making a Wine prefix"
    # Without Mono and Gecko, which the game does not need and which would ask to be installed.
    WINEPREFIX=$work/prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all DISPLAY= \
      wineboot --init >&2 || true
    WINEPREFIX=$work/prefix wineserver --wait || true
    [ -f "$work/prefix/system.reg" ] && rm -rf "$dir" && mv "$work/prefix" "$dir"
    rm -rf "$work"
    find "$cache/wine" -mindepth 1 -maxdepth 1 -type d ! -path "$dir" -exec rm -rf {} +
  fi
  [ -f "$dir/system.reg" ] || unavailable "Wine could not make a prefix"
  echo "$dir"
}

xserver
wine_prefix
