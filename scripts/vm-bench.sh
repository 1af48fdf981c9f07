#!/usr/bin/env bash
# Measures, in the test virtual machine, the latency the keyboard broker adds on a real kernel
# next to a minimal evdev-to-uinput forwarder and interception-tools (KernelLatencyBench),
# and prints the figures. Emulated CPUs are slow and noisy: compare the ratios.
# interception-tools runs from the cache scripts/fetch-tools.sh unpacks it into.
# Usage: scripts/vm-bench.sh [build-dir]   (built with -DVELMORA_BUILD_BENCH=ON)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build}")
bench=$build/bench/platform/KernelLatencyBench
[ -x "$bench" ] || { echo "vm-bench: build $bench first" >&2 && exit 1; }
peer=$("$root/scripts/fetch-tools.sh")/interception-tools
[ -x "$peer/usr/bin/interception" ] || { echo "vm-bench: interception-tools could not be fetched" >&2 && exit 1; }
# Libraries it needs that this machine lacks were unpacked beside it: vm-run.sh's ldd finds
# them there, and the machine gets them where its loader looks.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
export LD_LIBRARY_PATH=$peer/usr/lib/$multiarch
libraries=()
for lib in "$LD_LIBRARY_PATH"/*.so.*; do
  [ ! -e "$lib" ] || libraries+=(--file "$lib:/lib/$multiarch/${lib##*/}")
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
scenario=$out/scenario.sh
echo 'KernelLatencyBench --benchmark_counters_tabular=true --benchmark_color=false' >"$scenario"
"$root/scripts/vm-run.sh" --out "$out/vm" --scenario "$scenario" --timeout 3000 \
  --module uhid --module hid_generic \
  --bin "$bench" --bin "$build/bench/platform/minimal-forwarder" \
  --bin "$peer/usr/bin/interception" --bin "$peer/usr/bin/uinput" "${libraries[@]}" \
  --bin "$build/app/shell/VelmoraBroker" --bin "$build/tests/vm/VelmoraTapPerson"
cat "$out/vm/output.log"
exit "$(cat "$out/vm/status")"
