#!/usr/bin/env bash
# Makes sure the desktop that the test virtual machine runs is at hand, and prints two folders,
# one a line:
#   Debian's X server with its dummy video and libinput input drivers (and libxcvt0, which only
#   the server uses), fetched with apt-get download and unpacked with dpkg-deb -x: installing
#   xserver-xorg-core would bring udev's service along. Run from there, with
#   LD_LIBRARY_PATH=<folder>/usr/lib/x86_64-linux-gnu and -modulepath <folder>/usr/lib/xorg/modules.
#   A Wine prefix made once by this machine's Wine, owned by whoever ran this.
# Both are kept in the cache outside the tree (~/.cache/velmora-vm-desktop), a folder per
# version; the rest of the desktop
# (Wine, xkbcomp, the keyboard layouts) is this machine's own.
# Exits 77 when they cannot be had (no Wine here, or no package mirror and nothing cached).
# Usage: scripts/vm-desktop-fetch.sh
set -euo pipefail

cache=${XDG_CACHE_HOME:-$HOME/.cache}/velmora-vm-desktop
packages=(xserver-xorg-core xserver-xorg-video-dummy xserver-xorg-input-libinput libxcvt0)

log() { echo "vm-desktop-fetch: $*" >&2; }
unavailable() {
  log "$*"
  exit 77
}

# The versions apt would install, as one folder name; empty when apt does not know them.
versions() {
  apt-cache policy "${packages[@]}" 2>/dev/null | awk '
    /^[^ ]/ { sub(":$", ""); name = $0 }
    /Candidate:/ && $2 != "(none)" { found = found sep name "_" $2; sep = "+"; n++ }
    END { if (n == count) print found }' count=${#packages[@]}
}

xserver() {
  local wanted dir work
  wanted=$(versions | tr ':' '-')
  dir=$cache/xorg/$wanted
  if [ -n "$wanted" ] && [ ! -x "$dir/usr/lib/xorg/Xorg" ]; then
    mkdir -p "$cache/xorg"
    work=$(mktemp -d "$cache/xorg/fetch.XXXXXX")
    log "fetching ${packages[*]}"
    if (cd "$work" && apt-get download -q "${packages[@]}" >&2); then
      for deb in "$work"/*.deb; do dpkg-deb -x "$deb" "$work/root"; done
      rm -rf "$dir" && mv "$work/root" "$dir"
      # Older versions are of no more use.
      find "$cache/xorg" -mindepth 1 -maxdepth 1 -type d ! -path "$dir" ! -path "$work" \
        -exec rm -rf {} +
    fi
    rm -rf "$work"
  fi
  # Whatever is there, also when apt could not be reached.
  [ -x "$dir/usr/lib/xorg/Xorg" ] || dir=$(ls -1dt "$cache"/xorg/*/usr/lib/xorg/Xorg 2>/dev/null |
    head -1 | sed 's|/usr/lib/xorg/Xorg$||')
  [ -n "$dir" ] || unavailable "no X server in $cache/xorg and none could be fetched"
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
