#!/usr/bin/env bash
# Builds the JSON fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each for its
# share of the given seconds on a temporary copy of the seed corpus, so nothing is written
# into the repository. Exits non-zero when a target finds a crash.
# The build is the fuzz preset of CMakePresets.json, in build-fuzz/.
# Usage: scripts/fuzz.sh <seconds>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: scripts/fuzz.sh <seconds>}
dir=$root/build-fuzz
targets=(json_reader_fuzzer json_roundtrip_fuzzer)

cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"

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
