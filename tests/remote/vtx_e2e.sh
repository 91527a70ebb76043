#!/usr/bin/env bash
# vtx against the simulated controller: ls as text and JSON, params, tools and
# rm, with the exit codes of a good run (0), a failure (1) and a usage error (2).
#   vtx_e2e.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/root/ram/cncprg" "$work/root/ROM"
head -c 1234 /dev/zero > "$work/root/ram/cncprg/part1.nc"
head -c 5678 /dev/zero > "$work/root/ram/cncprg/part b.nc"
head -c 99 /dev/zero > "$work/root/ram/$(printf 'n\xe4me "q".txt')"
printf 'X=1\n' > "$work/params"
: > "$work/tools"
: > "$work/control"

VANTORIX_SIM="$2/vantorix-sim" "$1/scripts/with-sim.sh" "$work/link" --root "$work/root" --control "$work/control" \
  --params "$work/params" --tools "$work/tools" -- bash -s "$2/vtx" "$work" <<'CHECKS'
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
exists() { for f in "$@"; do [ -e "$work/root/$f" ] && printf y || printf n; done; }

out=$("$vtx" --port "$port" ls 2> "$work/err")
check "ls status" "0 " "$? $(cat "$work/err")"
check "ls text" '/
  ROM/
  ram/
    cncprg/
      part b.nc  (5678 bytes)
      part1.nc  (1234 bytes)
    n\xe4me "q".txt  (99 bytes)
RAM disk free:
Flash disk free:' "$(printf '%s\n' "$out" | sed 's/free: [0-9]* bytes$/free:/')"
json=$("$vtx" --port="$port" --baud 115200 ls --json)
check "ls json" '"root":{"name":"/","type":"dir","children":[{"name":"ROM","type":"dir","children":[]},{"name":"ram","type":"dir","children":[{"name":"cncprg","type":"dir","children":[{"name":"part b.nc","type":"file","size":5678},{"name":"part1.nc","type":"file","size":1234}]},{"name":"n\u00e4me \"q\".txt","type":"file","size":99}]}]}}' "${json#*,\"flashDiskFree\":*,}"
for fault in "listing-silent:No answer from Vantorix. Please check if it is connected." \
             "listing-invalid:The Vantorix-answer was not correct. Please try to update again."; do
  echo "${fault%%:*}" > "$work/control"
  "$vtx" --port "$port" --attempts 1 ls --json > "$work/out" 2>&1
  check "ls ${fault%%:*}" "1 ${fault#*:}" "$? $(cat "$work/out")"
done
: > "$work/control"

check "params content" "X=1\r\n\r\n" "$("$vtx" --port "$port" params | od -An -c | tr -s ' ' | sed 's/^ //;s/ //g')"
"$vtx" --port "$port" params -o "$work/p.txt"
check "params to file" "7" "$(stat -c %s "$work/p.txt")"
printf 'old' > "$work/t.txt"
"$vtx" --port "$port" tools -o "$work/t.txt" 2> "$work/err"
check "no tool list" "1 The Vantorix sent no tool list. old" "$? $(cat "$work/err") $(cat "$work/t.txt")"
printf 'X' > "$work/tools"
"$vtx" --port "$port" tools -o "$work/t.txt"
check "four-byte tool list" "X" "$(cat "$work/t.txt")"

"$vtx" --port "$port" rm "/ram/$(printf 'n\xe4me "q".txt')" "/ram/cncprg/part b.nc"
check "rm" "0 nny" "$? $(exists "ram/$(printf 'n\xe4me "q".txt')" "ram/cncprg/part b.nc" ram/cncprg/part1.nc)"
"$vtx" --port "$port" rm /ram/cncprg/part1.nc "/ram/$(head -c 600 /dev/zero | tr '\0' a)" 2> /dev/null
check "too long path refused before sending" "2 y" "$? $(exists ram/cncprg/part1.nc)"
"$vtx" --port "$port" rm /ram/cncprg/ 2> /dev/null
check "directory refused" "2" "$?"
"$vtx" --port "$port" rm "$(printf '/ram/a\rl')" 2> /dev/null
check "control character refused" "2" "$?"

"$vtx" --port /nonexistent/tty params 2> "$work/err"
check "no port" "1 Can't open Serial Port." "$? $(grep -o "Can't open Serial Port." "$work/err")"
for args in "" "frobnicate" "--port" "--baud fast ls" "--baud 0 ls" "--attempts 0 ls" "--attempts -1 ls" \
            "--colour ls" "ls --xml" "ls extra"; do
  # shellcheck disable=SC2086
  "$vtx" $args > "$work/out" 2> "$work/err"
  check "usage error: $args" "2 y" "$? $(grep -q "usage: vtx" "$work/err" && [ ! -s "$work/out" ] && echo y)"
done
"$vtx" ls --help > "$work/out"
check "help on stdout" "0 y" "$? $(grep -q -- --json "$work/out" && echo y)"
[ "$failures" -eq 0 ]
CHECKS
status=$?

# A filled controller on a 57600 bit/s line: its listing takes several read times.
mkdir -p "$work/full/ram/cncprg" "$work/full/ROM"
for i in $(seq 600); do : > "$work/full/ram/cncprg/program_number_$i.nc"; done
VANTORIX_SIM="$2/vantorix-sim" "$1/scripts/with-sim.sh" "$work/link-full" --root "$work/full" --baud 57600 -- \
  bash -c '"$1" --port "$VANTORIX_SIM_PTY" ls' _ "$2/vtx" > "$work/full.txt"
listed="$? $(grep -c '^      program_number_.*(0 bytes)$' "$work/full.txt") $(grep -c '^Flash disk free: [1-9]' "$work/full.txt")"
[ "$listed" = "0 600 1" ] && echo "ok   filled controller" || { echo "FAIL filled controller: got [$listed]"; status=1; }
exit "$status"
