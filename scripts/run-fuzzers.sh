#!/usr/bin/env bash
# Runs every libFuzzer target of build/fuzz for a bounded time each, starting
# from its corpus in fuzz/corpus/NAME. Usage: scripts/run-fuzzers.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
found=0
for target in build/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  corpus=fuzz/corpus/${name#fuzz_}
  work=build/fuzz/corpus-${name#fuzz_}
  mkdir -p "$work"
  printf 'fuzzing %s for %s s\n' "$name" "$seconds"
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" "$corpus" 2>build/fuzz/$name.log \
    || { tail -n 40 build/fuzz/$name.log; exit 1; }
  grep -E 'stat::number_of_executed_units' build/fuzz/$name.log || true
done
[ $found -eq 1 ] || echo "no fuzz targets built"
