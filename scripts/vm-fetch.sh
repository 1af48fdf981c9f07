#!/usr/bin/env bash
# Makes sure Debian's current amd64 kernel and udev are unpacked in the cache, fetching them
# with apt-get download when they are missing, and prints the folder that holds them:
#   vmlinux or vmlinuz    the kernel (vmlinux when it could be unpacked: it boots faster)
#   lib/modules/<ver>/    the kernel's modules, with modules.dep
#   udev/                 the udev package unpacked (udevadm, rules)
# Exits 77 when neither the cache nor the package mirrors can supply them.
# Usage: scripts/vm-fetch.sh
set -euo pipefail

cache=${VELMORA_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora-vm}
mkdir -p "$cache"

log() { echo "vm-fetch: $*" >&2; }

# The package the linux-image-amd64 metapackage points at, and udev, with the versions apt
# would install; fails when apt does not know them.
resolve() {
  local image versions
  image=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
  [ -n "$image" ] || return 1
  versions=$(apt-cache policy "$image" udev 2>/dev/null | awk '/Candidate:/ && $2 != "(none)" {print $2}')
  [ "$(wc -w <<<"$versions")" -eq 2 ] || return 1
  echo "$image" $versions
}

update_lists() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo -n"
  $sudo apt-get update -q >&2 || true
}

# A kernel packed as bzImage decompresses itself, which takes seconds under emulation; the
# ELF inside boots directly (PVH). The first xz stream in the image is the kernel.
unpack_vmlinux() {
  local image=$1 out=$2 pos
  for pos in $(LC_ALL=C grep -abo $'\xfd7zXZ' "$image" | cut -d: -f1); do
    # xz complains about the bytes after the stream; what it wrote is whole.
    tail -c +"$((pos + 1))" "$image" | xz -dc >"$out" 2>/dev/null || true
    [ "$(head -c 4 "$out" | od -An -tx1 | tr -d ' ')" = 7f454c46 ] && return 0
  done
  rm -f "$out"
  return 1
}

# Called in a condition, where set -e does not hold: every step says whether it failed.
fill() {
  local dir=$1 image=$2 kver=$3 uver=$4 work release
  work=$(mktemp -d "$cache/fetch.XXXXXX")
  trap 'rm -rf "$work"' RETURN
  log "fetching $image $kver and udev $uver"
  (cd "$work" && apt-get download -q "$image=$kver" "udev=$uver" >&2) || return 1
  mkdir -p "$work/kernel" "$work/out/udev" || return 1
  dpkg-deb -x "$work/${image}_"*.deb "$work/kernel" || return 1
  dpkg-deb -x "$work/udev_"*.deb "$work/out/udev" || return 1
  release=$(ls "$work/kernel/lib/modules") && mv "$work/kernel/lib" "$work/out/lib" || return 1
  busybox depmod -b "$work/out" "$release" || return 1
  unpack_vmlinux "$work/kernel/boot/vmlinuz-$release" "$work/out/vmlinux" ||
    cp "$work/kernel/boot/vmlinuz-$release" "$work/out/vmlinuz" || return 1
  echo "$release" >"$work/out/release" && rm -rf "$dir" && mv "$work/out" "$dir"
}

# Prints nothing, and still succeeds, when the cache holds no kernel: under pipefail the
# failing ls would otherwise end the script on a fresh machine.
newest() {
  ls -1dt "$cache"/*/ 2>/dev/null | while read -r d; do
    [ -f "$d/release" ] && echo "${d%/}" && break
  done || true
}

# Debian's kernel changes every few weeks: asking apt once a day is often enough.
dir=$(newest)
if [ -z "$dir" ] || [ -n "$(find "$cache/checked" -mmin +1440 2>/dev/null)" ] || [ ! -f "$cache/checked" ]; then
  wanted=$(resolve || { update_lists && resolve; } || true)
  if [ -n "$wanted" ]; then
    read -r image kver uver <<<"$wanted"
    dir="$cache/${image}_${kver}+udev_${uver}"
    if [ -f "$dir/release" ] || fill "$dir" "$image" "$kver" "$uver"; then
      touch "$cache/checked"
      # Older versions are of no more use.
      find "$cache" -mindepth 1 -maxdepth 1 -type d ! -path "$dir" -exec rm -rf {} +
    else
      log "could not fetch the kernel and udev"
    fi
  fi
  # Whatever is there, also when apt could not be reached.
  dir=$(newest)
fi
if [ -z "$dir" ]; then
  log "no kernel in $cache and none could be fetched"
  exit 77
fi
echo "$dir"
