#!/usr/bin/env bash
# Boots a throw-away virtual machine (QEMU with an emulated CPU) on Debian's kernel with a
# busybox initramfs, runs a scenario script in it as root, and brings back what it wrote.
#
# Usage: scripts/vm-run.sh --out DIR --scenario FILE [options]
#   --bin FILE         an executable, put in /velmora/bin with every library ldd names
#   --file SRC[:DEST]  any other file, at DEST inside (default: SRC's absolute path)
#   --module NAME      a kernel module to load with its dependencies (evdev and uinput always)
#   --env NAME=VALUE   set for the scenario
#   --timeout SECONDS  for the whole run, all machines (default 1200)
#   --boot-limit SECONDS  until the scenario starts, else the machine is started again (default 120)
#   --cpus N, --memory MB
#   --qemu ARG         one more argument for QEMU (as in --qemu -icount --qemu shift=0)
#   --host-root DIR    run the scenario chrooted in DIR of this machine (/ for its whole root),
#                      shared read-only over virtio-9p, with whatever it writes kept in memory
#                      (scripts/vm-host-root.sh says what else it sees there)
# The scenario runs under busybox sh in /tmp with /velmora/bin first on PATH, the modules
# loaded, udevd running and devices settled. It may run programs as the unprivileged user
# "velmora" (uid and gid 1000, in no group):
#   su velmora -s /bin/sh -c "exec PROGRAM..."
# Sanitizer options (ASAN_OPTIONS and the like, with their suppression files) are carried in.
# In DIR afterwards: console.log (the kernel's console), output.log (the scenario's standard
# output and error), status (its exit status), boot-seconds (until the scenario started).
# Exits 0 when the scenario ran to its end, whatever its status; 77 when QEMU or the kernel
# cannot be had here (DIR/skipped says why); 1 when the machine did not get through.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

out="" scenario="" host_root="" timeout=1200 boot_limit=120 cpus=2 memory=1024
bins=() files=() modules=(evdev uinput) envs=() extra=()
while [ $# -gt 0 ]; do
  case $1 in
  --out) out=$2 ;;
  --scenario) scenario=$2 ;;
  --bin) bins+=("$2") ;;
  --file) files+=("$2") ;;
  --module) modules+=("$2") ;;
  --env) envs+=("$2") ;;
  --timeout) timeout=$2 ;;
  --boot-limit) boot_limit=$2 ;;
  --cpus) cpus=$2 ;;
  --memory) memory=$2 ;;
  --qemu) extra+=("$2") ;;
  --host-root) host_root=$2 ;;
  *) echo "vm-run: unknown option $1" >&2 && exit 2 ;;
  esac
  shift 2
done
[ -n "$out" ] && [ -f "$scenario" ] || { sed -n '2,25p' "$0" >&2 && exit 2; }
if [ -n "$host_root" ]; then
  modules+=(virtio_pci 9pnet_virtio 9p overlay)
  extra+=(-virtfs "local,path=$host_root,mount_tag=velmora-root,security_model=none,readonly=on,multidevs=remap")
fi

rm -rf "$out"
mkdir -p "$out"
skip() {
  echo "vm-run: skipped: $*" | tee "$out/skipped" >&2
  exit 77
}

qemu=$(command -v qemu-system-x86_64 || true)
[ -n "$qemu" ] || skip "qemu-system-x86_64 is not installed"
cache=$("$root/scripts/vm-fetch.sh") || { [ $? -eq 77 ] && skip "no kernel to boot"; exit 1; }
release=$(cat "$cache/release")
kernel=$cache/vmlinux
[ -f "$kernel" ] || kernel=$cache/vmlinuz

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
image=$stage/root
mkdir -p "$image"/{bin,sbin,etc,proc,sys,dev,run,tmp,velmora/bin,lib/systemd,lib/udev,lib64,usr/bin}

# A file at its path inside, the way ldd names it (symlinks followed).
carry() {
  local src=$1 dest=$2
  [ -e "$image$dest" ] && return 0
  mkdir -p "$(dirname "$image$dest")"
  cp -L "$src" "$image$dest"
}
carry_libraries() {
  local lib
  while read -r lib; do
    carry "$lib" "$lib"
  done < <(ldd "$1" | awk '$2 == "=>" && $3 ~ /^\// {print $3} $1 ~ /^\// {print $1}')
  if ldd "$1" | grep -q 'not found'; then
    echo "vm-run: $1 needs libraries this machine does not have:" >&2
    ldd "$1" | grep 'not found' >&2
    exit 1
  fi
}

carry "$(command -v busybox)" /bin/busybox
carry "$cache/udev/bin/udevadm" /bin/udevadm
ln -s /bin/udevadm "$image/lib/systemd/systemd-udevd"
cp -r "$cache/udev/lib/udev/rules.d" "$image/lib/udev/"
carry_libraries "$cache/udev/bin/udevadm"
for bin in "${bins[@]}"; do
  carry "$bin" "/velmora/bin/$(basename "$bin")"
  carry_libraries "$bin"
done
for entry in "${files[@]}"; do
  src=${entry%%:*}
  dest=${entry#*:}
  [ "$dest" != "$entry" ] || dest=$(realpath "$src")
  carry "$src" "$dest"
done

# Modules and what they depend on, dependencies first.
moddir=/lib/modules/$release
loaded=()
load() {
  local rel deps dep
  rel=$(grep -E "(^|/)${1//[-_]/[-_]}\.ko(\.[a-z]+)?:" "$cache$moddir/modules.dep" | cut -d: -f1)
  [ -n "$rel" ] || { echo "vm-run: no module $1 in $release" >&2 && exit 1; }
  [[ " ${loaded[*]} " == *" $rel "* ]] && return 0
  deps=$(grep -E "^$rel:" "$cache$moddir/modules.dep" | cut -d: -f2)
  for dep in $deps; do
    dep=$(basename "$dep")
    load "${dep%%.ko*}"
  done
  carry "$cache$moddir/$rel" "$moddir/$rel"
  loaded+=("$rel")
}
for module in "${modules[@]}"; do load "$module"; done
printf "$moddir/%s\n" "${loaded[@]}" >"$image/velmora/modules"

cat >"$image/etc/passwd" <<'EOF'
root:x:0:0:root:/root:/bin/sh
velmora:x:1000:1000:unprivileged test user:/tmp:/bin/sh
EOF
# The groups udev's rules name.
groups=(root:0 tty:5 disk:6 lp:7 kmem:15 dialout:20 cdrom:24 tape:26 audio:29 video:44
  input:101 kvm:102 render:103 sgx:104 velmora:1000)
printf '%s\n' "${groups[@]}" | awk -F: '{print $1 ":x:" $2 ":"}' >"$image/etc/group"
cp "$scenario" "$image/velmora/scenario.sh"
if [ -n "$host_root" ]; then
  mv "$image/velmora/scenario.sh" "$image/velmora/host-scenario.sh"
  cp "$root/scripts/vm-host-root.sh" "$image/velmora/scenario.sh"
fi
cp "$root/scripts/vm-init.sh" "$image/init"
chmod 755 "$image/init"
for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
  value=${!name:-}
  [ -n "$value" ] || continue
  envs+=("$name=$value")
  suppressions=$(tr ':' '\n' <<<"$value" | sed -n 's/^suppressions=//p')
  [ -z "$suppressions" ] || carry "$suppressions" "$suppressions"
done
for assignment in "${envs[@]}"; do
  printf 'export %s=%q\n' "${assignment%%=*}" "${assignment#*=}"
done >"$image/velmora/env"

(cd "$image" && find . | busybox cpio -o -H newc -R 0:0 2>/dev/null) >"$stage/initrd"

bios=()
[ -f /usr/share/qemu/qboot.rom ] && bios=(-bios /usr/share/qemu/qboot.rom)

# One boot with at most $1 seconds to run. The emulated CPU now and then wedges (seen as a
# soft lockup in the kernel's own code, before any of ours runs): a machine whose kernel
# reports one, or that has not reached the scenario within boot_limit seconds, is stopped,
# and the status is 125.
boot() {
  local left=$1 pid waited=0
  rm -f "$out/console.log" "$out/output.log"
  touch "$out/console.log" "$out/output.log"
  timeout --kill-after=10 "$left" "$qemu" -accel tcg "${bios[@]}" -m "$memory" -smp "$cpus" \
    -nodefaults -display none -no-reboot -kernel "$kernel" -initrd "$stage/initrd" \
    -append "console=ttyS0 panic=-1 quiet loglevel=4 mitigations=off cryptomgr.notests" \
    -serial "file:$out/console.log" -serial "file:$out/output.log" "${extra[@]}" 2>"$out/qemu.log" &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    if grep -q 'BUG: soft lockup' "$out/console.log" ||
      { [ "$waited" -ge "$boot_limit" ] && ! grep -q '^@velmora-vm-booted' "$out/output.log"; }; then
      kill "$pid"
      wait "$pid"
      return 125
    fi
    sleep 1
    waited=$((waited + 1))
  done
  wait "$pid"
}

# A machine that stalls or runs out of its time is started again, up to three machines in
# all, each with at most a third of the time.
started=$(date +%s) qemu_status=124
set +e
for attempt in 1 2 3; do
  left=$((timeout - ($(date +%s) - started)))
  [ "$left" -gt 0 ] || break
  boot "$((left < timeout / 3 ? left : timeout / 3))"
  qemu_status=$?
  grep -q '^@velmora-vm-status' "$out/output.log" && break
  echo "vm-run: machine $attempt did not finish (QEMU status $qemu_status); the kernel said:" >&2
  tail -n 5 "$out/console.log" >&2
  cp "$out/console.log" "$out/console-failed-$attempt.log"
done
set -e
echo "vm-run: the machine ran $(($(date +%s) - started)) s" >&2

status=$(sed -n 's/^@velmora-vm-status \([0-9]*\).*/\1/p' "$out/output.log" | tail -1)
sed -n 's/^@velmora-vm-booted \([0-9.]*\).*/\1/p' "$out/output.log" >"$out/boot-seconds"
sed -i '/^@velmora-vm-/d' "$out/output.log"
if [ -z "$status" ]; then
  echo "vm-run: the machine did not finish (QEMU status $qemu_status)" >&2
  tail -n 40 "$out/qemu.log" "$out/console.log" "$out/output.log" >&2 || true
  exit 1
fi
echo "$status" >"$out/status"
