#!/usr/bin/env bash
# Runs every libFuzzer target of build/fuzz for a bounded time each, starting
# from its corpus in fuzz/corpus/NAME, two at a time (one a core).
# Usage: scripts/run-fuzzers.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
fuzz_one() {
  local target=$1 name corpus work
  name=$(basename "$target")
  corpus=fuzz/corpus/${name#fuzz_}
  work=build/fuzz/corpus-${name#fuzz_}
  mkdir -p "$work"
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" "$corpus" 2>build/fuzz/$name.log \
    || { tail -n 40 build/fuzz/$name.log; echo "$name: FAILED"; return 1; }
  echo "$name: $seconds s, $(grep -oE 'number_of_executed_units: *[0-9]+' build/fuzz/$name.log | grep -oE '[0-9]+$') runs"
}
targets=()
for source in fuzz/fuzz_*.cpp; do   # every target of the sources, so that one not built fails instead of passing
  target=build/fuzz/$(basename "$source" .cpp)
  if [ ! -x "$target" ]; then
    echo "$target: not built (cmake --preset fuzz && cmake --build --preset fuzz --target fuzzers)" >&2
    exit 1
  fi
  targets+=("$target")
done
status=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pids=()
  for target in "${targets[@]:i:2}"; do
    fuzz_one "$target" & pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
done
exit $status
