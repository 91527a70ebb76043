#!/usr/bin/env bash
# vtx against the simulated controller, the rows of vtx_e2e.rows.   vtx_e2e.sh SOURCE_DIR BUILD_DIR
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
mkdir -p "$work/pc/sub"
for file in good.nc:300 "my part.nc:700" f600.nc:600 empty.nc:0; do
  head -c "${file##*:}" /dev/urandom > "$work/pc/${file%%:*}"
done

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
mkdir "$work/empty"
while read -r kind path text; do   # the fake /dev and /sys of 'vtx ports'
  case $kind in d) mkdir -p "$work/sysroot/$path" ;; f) printf "${text:+%s\n}" "$text" > "$work/sysroot/$path" ;;
                l) ln -s "$text" "$work/sysroot/$path" ;; esac
done < "$3/tests/remote/vtx_sysroot.txt"
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
    "$status|$( (grep -E "^(vtx:|Can't|No answer|The Vantorix)" "$work/err"; cat "$work/out") | sed 's/\r/\\r/g' | paste -sd ';')|$(sent)"
done < "$3/tests/remote/vtx_e2e.rows"

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
