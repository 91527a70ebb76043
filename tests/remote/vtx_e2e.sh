#!/usr/bin/env bash
# vtx against the simulated controller, the rows of vtx_e2e.rows on the files of vtx_files.rows.
#   vtx_e2e.sh SOURCE_DIR BUILD_DIR                    vtx of a Linux build, on the simulator's terminal
#   vtx_e2e.sh SOURCE_DIR BUILD_DIR --wine SIMULATOR win32|win64
#                          vtx.exe of a Windows build under Wine, in the build's prefix, on COM12 mapped to the
#                          simulator's terminal
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
check() {   # NAME EXPECTED ACTUAL: one fact, a failure counted in failures
  if [ "$2" = "$3" ]; then echo "ok   $1"; return; fi
  echo "FAIL $1: expected [${2@Q}], got [${3@Q}]"
  failures=$((failures + 1))
}
export -f check
number=0 failures=0
while IFS='|' read -r -a field; do   # the controller's and the PC's files, the fake /dev and /sys
  number=$((number + 1))
  kind=${field[0]:-}
  case $kind in ''|'#'*) continue ;; esac
  path=$(printf '%b' "${field[1]:-}") text=${field[2]:-}
  case "$kind:${#field[@]}" in
    d:2) mkdir -p "$work/$path" ;;
    f:2|f:3) printf '%b' "$text" > "$work/$path" ;;
    l:3) ln -s "$text" "$work/$path" ;;
    z:3) head -c "$text" /dev/zero > "$work/$path" ;;
    r:3) head -c "$text" /dev/urandom > "$work/$path" ;;
    *) echo "FAIL vtx_files.rows:$number: no kind '$kind' of ${#field[@]} fields"; exit 1 ;;
  esac
done < "$1/tests/remote/vtx_files.rows"

system=linux sim=$2/vantorix-sim vtx=$2/vtx link=$work/link com=
if [ "${3:-}" = --wine ]; then
  system=windows sim=$4 vtx=$work/vtx link=$2/ports/com12 com=COM12
  if [ ! -x "$sim" ]; then
    echo "skipped: no simulator at $sim (build the native preset first)"
    exit 77
  fi
  export WINEPREFIX=$2/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # wine starts a 64-bit program as a child of its own, which a Ctrl-C (SIGINT) would not reach; Debian's
  # 64-bit loader runs it in its own process.
  loader=$1/scripts/wine.sh
  [ "${5:-win32}" = win64 ] && loader="env WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64"
  printf '#!/bin/sh\nexec %s "%s" "$@"\n' "$loader" "$2/vtx.exe" > "$vtx"
  chmod +x "$vtx"
  # The first Wine program starts the prefix's services, which keep its output open: not a row's.
  "$vtx" --version > /dev/null 2>&1 < /dev/null
  "$1/scripts/wine.sh" regedit /S "Z:$(tr / '\\' <<<"$1/tests/remote/ports_wine.reg")" > /dev/null 2>&1
fi

VANTORIX_SIM=$sim "$1/scripts/with-sim.sh" "$link" --root "$work/root" --control "$work/control" \
  --params "$work/params" --tools "$work/tools" --flash-size 1000 --verbose -- bash -s "$vtx" "$work" "$1" "$system" "$com" \
  2>> "$work/trace" <<'CHECKS'
exec 2>&1   # the controller's trace alone goes to the trace file
vtx=$1 work=$2 system=$4 port=${5:-$VANTORIX_SIM_PTY} failures=0
exists() { for f; do if [ -e "$work/root/$f" ]; then echo there; else echo gone; fi; done; }   # a line a PATH
sent() {   # the command letters that reached the controller since the last call
  grep -o 'command "[a-z]' "$work/trace" | cut -c10 | paste -sd ' '
  : > "$work/trace"
}
vput() { "$vtx" --port "$port" put "$@"; }
vrm() { "$vtx" --port "$port" rm "$@"; }
nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
# TRACE COMMAND...: one Ctrl-C once the controller's trace has a line starting with TRACE.
interrupted_at() {
  local trace=$1
  shift
  "$@" &
  local pid=$!
  until grep -q "^vantorix-sim: $trace" "$work/trace" || ! kill -0 "$pid" 2> /dev/null; do sleep 0.05; done
  kill -INT "$pid" 2> /dev/null
  wait "$pid"
}
# COMMAND...: a Ctrl-C once the controller receives the first file, a second once vtx says it cancels.
interrupted_twice() {
  "$@" 2> "$work/interrupted" &
  local pid=$!
  until grep -q '^vantorix-sim: receiving' "$work/trace" || ! kill -0 "$pid" 2> /dev/null; do sleep 0.05; done
  kill -INT "$pid" 2> /dev/null
  until grep -q 'cancelling' "$work/interrupted" || ! kill -0 "$pid" 2> /dev/null; do sleep 0.05; done
  kill -INT "$pid" 2> /dev/null
  wait "$pid"
  local status=$?
  cat "$work/interrupted" >&2
  return "$status"
}
group=
[ "$system" = linux ] && group=$(stat -c %G "$port")
[ "$group" = root ] && group=dialout
# NAME|CONTROL (the controller's fault)|COMMAND|status|complaints and output, written for printf %b|letters sent|
# WHERE, as tests/remote/README.md explains.
cd "$work/pc" || exit 1
number=0
while IFS= read -r row; do
  number=$((number + 1))
  case $row in ''|'#'*) continue ;; esac
  IFS='|' read -r name control command status output letters where <<< "$row"
  separators=${row//[^|]/}
  [ ${#separators} = 6 ] || { check "vtx_e2e.rows:$number" "7 fields" "$((${#separators} + 1)) fields"; continue; }
  case $where in ''|both|'both bytes'|windows) ;; *) check "vtx_e2e.rows:$number" "a WHERE of '', both, both bytes or windows" "$where"; continue ;; esac
  case "$system:$where" in linux:|linux:both*|windows:both*|windows:windows) ;; *) continue ;; esac
  # Only root can try the terminal as another user (nobody); CI runs as root.
  if [ "$name" = "permission denied" ] && [ "$(id -u)" != 0 ]; then
    echo "skip $name: only root can run vtx as the user nobody"
    continue
  fi
  sent > /dev/null
  printf '%s\n' $control | grep . > "$work/control"   # one fault a line
  eval "$command" > "$work/out" 2> "$work/err"
  status_got=$?
  : > "$work/control"
  # A Windows console program ends its text lines with CR LF; fetched lists reach stdout as they came.
  if [ "$system" = windows ]; then
    sed -i 's/\r$//' "$work/err"
    [ "$where" = "both bytes" ] || sed -i 's/\r$//' "$work/out"
  fi
  expected=$(printf '%b' "$output")
  expected=${expected//\{port\}/$port}
  expected=${expected//\{group\}/$group}
  want=()
  [ -z "$expected" ] || mapfile -t want <<< "$expected"
  mapfile -t got < <(grep -E "^(vtx:|Can't|No answer|The |There |Upload )" "$work/err"; cat "$work/out")
  check "$name: status" "$status" "$status_got"
  lines=$(( ${#want[@]} > ${#got[@]} ? ${#want[@]} : ${#got[@]} ))
  for ((i = 0; i < lines; i++)); do   # each line a fact of its own
    check "$name: output line $((i + 1))" "${want[i]-(no line)}" "${got[i]-(no line)}"
  done
  check "$name: letters sent" "$letters" "$(sent)"
done < "$3/tests/remote/vtx_e2e.rows"

[ "$failures" -eq 0 ]
CHECKS
[ $? = 0 ] || failures=1   # the rows' checks, counted in their own shell

# The line hangs up while vtx waits for data block 2's reply, as when a USB adapter is unplugged (the simulator
# ends with it): vtx ends within 2 s of the hang-up and names the port, instead of waiting out the reply's time.
# Linux only: Wine reads a terminal that hung up as a quiet line, where a Windows driver fails the read
# (tests/serial/device_gone.rows).
if [ "$system" = linux ]; then
  head -c 3000 /dev/zero | tr '\0' G > "$work/pc/big.nc"
  VANTORIX_SIM=$sim "$1/scripts/with-sim.sh" "$link" --root "$work/root" --fault hangup-block:2 --verbose -- \
    bash -c 'cd "$2/pc" || exit 1
      port=${1:-$VANTORIX_SIM_PTY}
      "$0" --port "$port" put --no-verify big.nc 2> "$2/gone.err" &
      pid=$!
      until grep -q "hanging up" "$2/gone.trace" || ! kill -0 "$pid" 2> /dev/null; do sleep 0.02; done
      hung=$(date +%s%N)
      wait "$pid"
      echo "exit $? $(( ($(date +%s%N) - hung) / 1000000 )) $port"' "$vtx" "$com" "$work" > "$work/gone.txt" 2> "$work/gone.trace"
  read -r _ status ms gone_port < "$work/gone.txt"
  check "line hung up: status" 1 "$status"
  within="no, ${ms:-no} ms"
  if [ "${ms:-99999}" -lt 2000 ]; then within=yes; fi
  check "line hung up: ended within 2 s of the hang-up" yes "$within"
  mapfile -t said < <(tr -d '\r' < "$work/gone.err" | grep -E '^(There |The )')
  check "line hung up: lines said" 2 "${#said[@]}"
  check "line hung up: first line" "There was an error trying to upload." "${said[0]-}"
  check "line hung up: second line" "The serial port $gone_port is gone (unplugged?)." "${said[1]-}"
fi

# A filled controller on a 57600 bit/s line: its listing takes several read times.
for i in $(seq 600); do : > "$work/full/ram/cncprg/program_number_$i.nc"; done
VANTORIX_SIM=$sim "$1/scripts/with-sim.sh" "$link" --root "$work/full" --baud 57600 -- \
  bash -c '"$0" --port "${1:-$VANTORIX_SIM_PTY}" ls' "$vtx" "$com" > "$work/full.txt"
check "filled controller: status" 0 "$?"
files=$(tr -d '\r' < "$work/full.txt" | grep -c '^      program_number_.*(0 bytes)$')   # at the depth of cncprg's files
check "filled controller: files listed" 600 "$files"
check "filled controller: flash disk free" 1 "$(grep -c '^Flash disk free: [1-9]' "$work/full.txt")"
[ "$failures" -eq 0 ]
