#!/usr/bin/env bash
# Measures, in the test virtual machine, the latency the keyboard broker adds on a real kernel
# next to a minimal evdev-to-uinput forwarder and interception-tools (KernelLatencyBench),
# and prints the figures. Emulated CPUs are slow and noisy: compare the ratios.
# Usage: scripts/vm-bench.sh [build-dir]   (built with -DVELMORA_BUILD_BENCH=ON)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build}")
bench=$build/bench/platform/KernelLatencyBench
[ -x "$bench" ] || { echo "vm-bench: build $bench first" >&2 && exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
scenario=$out/scenario.sh
echo 'KernelLatencyBench --benchmark_counters_tabular=true --benchmark_color=false' >"$scenario"
"$root/scripts/vm-run.sh" --out "$out/vm" --scenario "$scenario" --timeout 3000 \
  --module uhid --module hid_generic \
  --bin "$bench" --bin "$build/bench/platform/minimal-forwarder" \
  --bin "$(command -v interception)" --bin "$(command -v uinput)" \
  --bin "$build/app/shell/VelmoraBroker" --bin "$build/tests/vm/VelmoraTapPerson"
cat "$out/vm/output.log"
exit "$(cat "$out/vm/status")"
