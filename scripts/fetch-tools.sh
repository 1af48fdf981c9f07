#!/usr/bin/env bash
# Unpacks into the cache, outside the tree, the programs that tests and benchmarks run but that
# no script may install, because installing them starts or enables a service: nginx (a web
# server on port 80), which the download tests and benchmarks serve files with;
# interception-tools (its udevmon root service), a peer of the kernel latency benchmark; and
# Debian's X server with its dummy video and libinput input drivers (xorg), which the desktop
# tests run in the virtual machine (xserver-xorg-core would bring udev's service along).
# Each is fetched with apt-get download, along with whatever apt would install with it here
# (libraries this machine lacks), and unpacked with dpkg-deb -x into <cache>/<tool>, e.g.
# <cache>/nginx/usr/sbin/nginx; <cache> is $VELMORA_TOOLS_CACHE, else ~/.cache/velmora-tools.
# A tool is fetched again when apt would bring other versions. One that cannot be had is
# reported, and the tests that need it skip.
# Usage: scripts/fetch-tools.sh [TOOL...]  fetch what is missing or out of date (default: all)
#        scripts/fetch-tools.sh --where    print <cache> and fetch nothing
set -euo pipefail

# The packages each tool is made of.
declare -A packages_of=(
  [nginx]=nginx
  [interception-tools]=interception-tools
  [xorg]="xserver-xorg-core xserver-xorg-video-dummy xserver-xorg-input-libinput"
)
cache=${VELMORA_TOOLS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora-tools}
if [ "${1:-}" = --where ]; then
  echo "$cache"
  exit 0
fi
mkdir -p "$cache"

log() { echo "fetch-tools: $*" >&2; }

# "package=version" for each of the tool's packages and for each package apt would install
# along with them.
wanted() {
  local named=$1 name version
  for name in $named; do
    version=$(apt-cache policy "$name" 2>/dev/null | awk '/Candidate:/ && $2 != "(none)" {print $2}')
    [ -n "$version" ] || return 1
    echo "$name=$version"
  done
  # shellcheck disable=SC2086 # one package a word
  apt-get -s -q install --no-install-recommends $named 2>/dev/null |
    awk -v named=" $named " '/^Inst / && index(named, " " $2 " ") == 0 {
      for (i = 3; i <= NF; i++) if ($i ~ /^\(/) { print $2 "=" substr($i, 2); break }
    }'
}

update_lists() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo -n"
  $sudo apt-get update -q >&2 || true
}

# Called in a condition, where set -e does not hold: every step says whether it failed.
fill() {
  local tool=$1 work deb
  shift
  work=$(mktemp -d "$cache/fetch.XXXXXX")
  trap 'rm -rf "$work"' RETURN
  log "fetching $*"
  (cd "$work" && apt-get download -q "$@" >&2) || return 1
  mkdir "$work/root" || return 1
  for deb in "$work"/*.deb; do
    dpkg-deb -x "$deb" "$work/root" || return 1
  done
  printf '%s\n' "$@" >"$work/root/.packages" && rm -rf "${cache:?}/$tool" && mv -T "$work/root" "$cache/$tool"
}

[ $# -gt 0 ] || set -- "${!packages_of[@]}"
for tool in "$@"; do
  [ -n "${packages_of[$tool]:-}" ] || { log "no tool $tool" && exit 2; }
  named=${packages_of[$tool]}
  packages=$(wanted "$named" || { update_lists && wanted "$named"; } || true)
  if [ -z "$packages" ]; then
    [ -d "$cache/$tool" ] || log "apt knows no $tool: the tests that run it skip"
    continue
  fi
  [ "$(cat "$cache/$tool/.packages" 2>/dev/null)" = "$packages" ] && continue
  # shellcheck disable=SC2086 # one package=version a word
  fill "$tool" $packages || log "could not fetch $tool: the tests that run it skip"
done
echo "$cache"
