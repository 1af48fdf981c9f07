#!/usr/bin/env bash
# Builds the JSON fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each for its
# share of the given seconds on a temporary copy of the seed corpus, so nothing is written
# into the repository. Exits non-zero when a target finds a crash.
# Usage: scripts/fuzz.sh <build-dir> <seconds>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:?usage: scripts/fuzz.sh <build-dir> <seconds>}
seconds=${2:?usage: scripts/fuzz.sh <build-dir> <seconds>}
targets=(json_reader_fuzzer json_roundtrip_fuzzer)

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja \
  -DVELMORA_BUILD_FUZZ=ON -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF \
  -DVELMORA_SANITIZE=ON -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$dir" --target "${targets[@]}" -j "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts="$dir/fuzz-artifacts"
mkdir -p "$artifacts"
share=$((seconds / ${#targets[@]}))
((share > 0)) || share=1

for target in "${targets[@]}"; do
  cp -r "$root/fuzz/corpus" "$work/$target"
  log="$work/$target.log"
  if ! "$dir/fuzz/$target" -max_total_time="$share" -dict="$root/fuzz/json.dict" \
      -artifact_prefix="$artifacts/$target-" -print_final_stats=1 "$work/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $target found a crash; reproducer in $artifacts/" >&2
    exit 1
  fi
  echo "fuzz: $target $(grep -m1 -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" || echo finished)"
done
