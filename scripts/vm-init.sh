#!/bin/busybox sh
# The first process of the machine scripts/vm-run.sh boots: sets up a minimal system,
# runs /velmora/scenario.sh with its output on the second serial port, and powers off.
/bin/busybox --install -s /bin
export PATH=/velmora/bin:/bin:/sbin:/usr/bin:/usr/sbin HOME=/tmp LANG=C.UTF-8

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
for dir in /run /tmp /dev/shm; do mount -t tmpfs tmpfs "$dir"; done
chmod 1777 /tmp /dev/shm
ln -sf /proc/self/fd /dev/fd

out=/dev/ttyS1
stty -F "$out" raw -echo
while read -r module; do insmod "$module"; done </velmora/modules

/lib/systemd/systemd-udevd --daemon
udevadm trigger --action=add
udevadm settle --timeout=120

. /velmora/env
cd /tmp
echo "@velmora-vm-booted $(cut -d' ' -f1 /proc/uptime)" >"$out"
sh /velmora/scenario.sh >"$out" 2>&1 </dev/null
echo "@velmora-vm-status $?" >"$out"
sync
poweroff -f
