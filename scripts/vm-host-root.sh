#!/bin/busybox sh
# The scenario of a machine that scripts/vm-run.sh boots with --host-root: mounts the root
# the host shares over virtio-9p read-only, lays a layer in memory over it for whatever is
# written there, and runs the real scenario, /velmora/host-scenario.sh, chrooted in it. The
# machine's own /proc, /sys, /dev, /run (udev's database), /tmp and /velmora show through,
# and the user "velmora" is there as in the machine's own root.
set -e
mkdir -p /host /layer /merged
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=512000 velmora-root /host
mount -t tmpfs tmpfs /layer
mkdir /layer/upper /layer/work
mount -t overlay overlay -o lowerdir=/host,upperdir=/layer/upper,workdir=/layer/work /merged
for dir in proc sys dev run tmp velmora; do
  mkdir -p "/merged/$dir"
  mount -o rbind "/$dir" "/merged/$dir"
done
for file in passwd group; do
  grep -q '^velmora:' "/merged/etc/$file" || grep '^velmora:' "/etc/$file" >>"/merged/etc/$file"
done
exec chroot /merged /bin/sh /velmora/host-scenario.sh
