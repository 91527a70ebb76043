#!/usr/bin/env bash
# vtx rm, params and tools against the simulated controller: the same file
# content as the browser, the no-tool-list answer, refused paths.
#   vtx_remote_e2e.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$source_dir/sim/sample" "$work/root"
printf 'X=1\n' > "$work/params"
: > "$work/tools"

VANTORIX_SIM="$build_dir/vantorix-sim" "$source_dir/scripts/with-sim.sh" "$work/link" \
  --root "$work/root" --params "$work/params" --tools "$work/tools" -- bash -s "$build_dir/vtx" "$work" <<'CHECKS'
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

check "params content" "X=1\r\n\r\n" "$("$vtx" --port "$port" params | od -An -c | tr -s ' ' | sed 's/^ //;s/ //g')"
"$vtx" --port "$port" params -o "$work/p.txt"
check "params to file" "7" "$(stat -c %s "$work/p.txt")"

printf 'old' > "$work/t.txt"
"$vtx" --port "$port" tools -o "$work/t.txt" 2> "$work/err"
check "no tool list status" "1" "$?"
check "no tool list message" "The Vantorix sent no tool list." "$(cat "$work/err")"
check "older tool file kept" "old" "$(cat "$work/t.txt")"
printf 'X' > "$work/tools"
"$vtx" --port "$port" tools -o "$work/t.txt"
check "four-byte tool list" "X" "$(cat "$work/t.txt")"

"$vtx" --port "$port" rm /ram/notes.txt "/ram/cncprg/part b.nc"
check "rm status" "0" "$?"
check "rm removed both" "no no" "$([ -e "$work/root/ram/notes.txt" ] && echo yes || echo no) $([ -e "$work/root/ram/cncprg/part b.nc" ] && echo yes || echo no)"
check "rm kept the rest" "yes" "$([ -e "$work/root/ram/cncprg/part1.nc" ] && echo yes || echo no)"

long=/ram/$(head -c 600 /dev/zero | tr '\0' a)
"$vtx" --port "$port" rm /ram/cncprg/part1.nc "$long" 2> /dev/null
check "too long path refused before sending" "2 yes" "$? $([ -e "$work/root/ram/cncprg/part1.nc" ] && echo yes || echo no)"
"$vtx" --port "$port" rm /ram/cncprg/ 2> /dev/null
check "directory refused" "2" "$?"
"$vtx" --port "$port" rm "$(printf '/ram/a\rl')" 2> /dev/null
check "control character refused" "2" "$?"

"$vtx" --port /nonexistent/tty params 2> /dev/null
check "no port" "1" "$?"
[ "$failures" -eq 0 ]
CHECKS
