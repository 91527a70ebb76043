#!/usr/bin/env bash
# vtx ls against the simulated controller: the tree as text and as JSON, and
# the exit codes of a good run (0), a failed read (1) and a usage error (2).
#   vtx_ls_e2e.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/root/ram/cncprg" "$work/root/ROM"
head -c 1234 /dev/zero > "$work/root/ram/cncprg/part1.nc"
head -c 5678 /dev/zero > "$work/root/ram/cncprg/part b.nc"
head -c 99 /dev/zero > "$work/root/ram/$(printf 'n\xe4me "q".txt')"
: > "$work/control"

VANTORIX_SIM="$build_dir/vantorix-sim" "$source_dir/scripts/with-sim.sh" "$work/link" --root "$work/root" \
  --control "$work/control" --ram-size 1048576 --flash-size 524288 -- bash -s "$build_dir/vtx" "$work" <<'CHECKS'
vtx=$1
work=$2
port=$VANTORIX_SIM_PTY
failures=0
check() {   # NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAIL $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  else
    echo "ok   $1"
  fi
}

out=$("$vtx" --port "$port" ls 2> "$work/err")
check "text status" "0 " "$? $(cat "$work/err")"
check "text" '/
  ROM/
  ram/
    cncprg/
      part b.nc  (5678 bytes)
      part1.nc  (1234 bytes)
    n\xe4me "q".txt  (99 bytes)' "$(printf '%s\n' "$out" | head -n 7)"
check "free lines" "RAM disk free: Flash disk free: " "$(printf '%s\n' "$out" | tail -n 2 | sed 's/[0-9]* bytes$//' | tr -d '\n')"

json=$("$vtx" --port="$port" --baud 115200 ls --json)
check "json tree" '"root":{"name":"/","type":"dir","children":[{"name":"ROM","type":"dir","children":[]},{"name":"ram","type":"dir","children":[{"name":"cncprg","type":"dir","children":[{"name":"part b.nc","type":"file","size":5678},{"name":"part1.nc","type":"file","size":1234}]},{"name":"n\u00e4me \"q\".txt","type":"file","size":99}]}]}}' "${json#*,\"flashDiskFree\":*,}"

echo listing-silent > "$work/control"
"$vtx" --port "$port" --attempts 1 ls --json > "$work/out" 2> "$work/err"
check "silent" "1 No answer from Vantorix. Please check if it is connected." "$? $(cat "$work/out" "$work/err")"
echo listing-invalid > "$work/control"
"$vtx" --port "$port" ls > "$work/out" 2> "$work/err"
check "invalid" "1 The Vantorix-answer was not correct. Please try to update again." "$? $(cat "$work/out" "$work/err")"
: > "$work/control"
"$vtx" --port /nonexistent/tty ls 2> "$work/err"
check "no port" "1 yes" "$? $(grep -q "Can't open Serial Port." "$work/err" && echo yes)"

for args in "" "frobnicate" "--port" "--baud fast ls" "--baud 0 ls" "--attempts 0 ls" "--attempts -1 ls" \
            "--colour ls" "ls --xml" "ls extra"; do
  # shellcheck disable=SC2086
  "$vtx" $args > "$work/out" 2> "$work/err"
  check "usage error: $args" "2 yes" "$? $(grep -q "usage: vtx" "$work/err" && [ ! -s "$work/out" ] && echo yes)"
done
"$vtx" ls --help > "$work/out"
check "help on stdout" "0 yes" "$? $(grep -q -- --json "$work/out" && echo yes)"
[ "$failures" -eq 0 ]
CHECKS
