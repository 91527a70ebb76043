#!/usr/bin/env bash
# vtx against the simulated controller, the rows of vtx_e2e.rows.   vtx_e2e.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
while IFS='|' read -r kind path text; do   # the controller's and the PC's files, the fake /dev and /sys
  case $kind in d) mkdir -p "$work/$path" ;; f) printf "${text:+%s\n}" "$text" > "$work/$path" ;; l) ln -s "$text" "$work/$path" ;;
                z) head -c "$text" /dev/zero > "$work/$path" ;; r) head -c "$text" /dev/urandom > "$work/$path" ;; esac
done < "$1/tests/remote/vtx_files.txt"
head -c 99 /dev/zero > "$work/root/ram/$(printf 'n\xe4me "q".txt')"

VANTORIX_SIM="$2/vantorix-sim" "$1/scripts/with-sim.sh" "$work/link" --root "$work/root" --control "$work/control" \
  --params "$work/params" --tools "$work/tools" --flash-size 1000 --verbose -- bash -s "$2/vtx" "$work" "$1" \
  2>> "$work/trace" <<'CHECKS'
exec 2>&1   # the controller's trace alone goes to the trace file
vtx=$1 work=$2 port=$VANTORIX_SIM_PTY failures=0
check() {   # NAME EXPECTED ACTUAL
  [ "$2" = "$3" ] && echo "ok   $1" || { echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures + 1)); }
}
exists() { for f in "$@"; do [ -e "$work/root/$f" ] && printf y || printf n; done; echo; }
sent() {   # the command letters that reached the controller since the last call
  grep -o 'command "[a-z]' "$work/trace" | cut -c10 | paste -sd ' '
  : > "$work/trace"
}
vput() { "$vtx" --port "$port" put "$@"; }
vrm() { "$vtx" --port "$port" rm "$@"; }
nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
group=$(stat -c %G "$port")
[ "$group" = root ] && group=dialout
# NAME|CONTROL (the controller's fault)|COMMAND|status|complaints and output joined by ';'|letters sent.
cd "$work/pc" || exit 1
while IFS='|' read -r name control command expected; do
  case $name in ''|'#'*) continue ;; esac
  # Only root can try the terminal as another user, where that user can run vtx.
  [ "$name" = "permission denied" ] && { [ "$(id -u)" = 0 ] && nobody "$vtx" --help > /dev/null 2>&1 || continue; }
  sent > /dev/null
  printf '%s\n' "$control" | grep . > "$work/control"
  eval "$command" > "$work/out" 2> "$work/err"
  status=$?
  : > "$work/control"
  expected=${expected//\{port\}/$port}
  check "$name" "${expected//\{group\}/$group}" \
    "$status|$( (grep -E "^(vtx:|Can't|No answer|The )" "$work/err"; cat "$work/out") | sed 's/\r/\\r/g' | paste -sd ';')|$(sent)"
done < "$3/tests/remote/vtx_e2e.rows"

[ "$failures" -eq 0 ]
CHECKS
status=$?

# A filled controller on a 57600 bit/s line: its listing takes several read times.
for i in $(seq 600); do : > "$work/full/ram/cncprg/program_number_$i.nc"; done
VANTORIX_SIM="$2/vantorix-sim" "$1/scripts/with-sim.sh" "$work/link-full" --root "$work/full" --baud 57600 -- \
  bash -c '"$1" --port "$VANTORIX_SIM_PTY" ls' _ "$2/vtx" > "$work/full.txt"
listed="$? $(grep -c '^      program_number_.*(0 bytes)$' "$work/full.txt") $(grep -c '^Flash disk free: [1-9]' "$work/full.txt")"
[ "$listed" = "0 600 1" ] && echo "ok   filled controller" || { echo "FAIL filled controller: got [$listed]"; status=1; }
exit "$status"
