#!/usr/bin/env bash
# vtx put against the simulated controller through scripts/with-sim.sh: files arrive under their names,
# a silent receiver, usage errors, a Ctrl-C; the status is passed on, the link gone after. (Two Ctrl-C:
# tests/remote/vtx_e2e.rows, "Ctrl-C twice during an upload".)
#   vtx_put_e2e.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$1/sim/sample" "$work/root"
mkdir -p "$work/files"
for file in "my part.nc:3000" block.nc:1024 one.nc:1 big.nc:20000; do head -c "${file##*:}" /dev/urandom > "$work/files/${file%%:*}"; done
: > "$work/control"
VANTORIX_SIM="$2/vantorix-sim" "$1/scripts/with-sim.sh" "$work/link" --root "$work/root" --silence-ms 1000 \
  --control "$work/control" -- bash -s "$2/vtx" "$work" <<'CHECKS'
vtx=$1 work=$2 port=$VANTORIX_SIM_PTY files=$2/files cnc=$2/root/ram/cncprg failures=0
check() {   # NAME EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}
check_lines() {   # NAME LINES EXPECTED...: the lines of stderr as given, each its own fact, and no more
  local name=$1 i
  mapfile -t said <<< "$2"
  shift 2
  check "$name: lines" "$#" "${#said[@]}"
  for ((i = 1; i <= $#; i++)); do check "$name: line $i" "${!i}" "${said[i - 1]:-}"; done
}
put() { "$vtx" --port "$port" put "$@" 2> "$work/err"; echo $?; }
check "link while the command runs" "$VANTORIX_SIM_PTY" "$(readlink "$work/link")"
check "success status" 0 "$(put -p /ram/cncprg/ "$files/my part.nc" "$files/block.nc" "$files/one.nc")"
check_lines "one line per file and a final line" "$(sed 's/ (.*)$//' "$work/err")" "my part.nc: 3000 bytes sent" \
  "block.nc: 1024 bytes sent" "one.nc: 1 bytes sent" "3 files uploaded, 4025 bytes"
for pair in "my part.nc:my_part.nc" block.nc:block.nc one.nc:one.nc; do
  cmp -s "$files/${pair%%:*}" "$cnc/${pair##*:}"
  check "${pair%%:*} arrives as ${pair##*:}: cmp status" 0 "$?"
done
echo "silent-from:2" > "$work/control"
start=$(date +%s%N)
check "silent receiver: status" 1 "$(put "$files/big.nc")"
check_lines "silent receiver: the browser's message and the sender's reason" "$(tail -n 2 "$work/err")" \
  "There was an error trying to upload." "The controller did not answer data block 2 of big.nc within 1 second."
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
within="no ($elapsed ms)"
if [ "$elapsed" -lt 6000 ]; then within=yes; fi
check "silent receiver costs a block's wait and a drain" yes "$within"
: > "$work/control"
for i in $(seq 20); do   # the controller gives up the broken session after its silence limit
  "$vtx" --port "$port" ls > /dev/null 2>&1 && break
done
many=()
for i in $(seq 1 200); do many+=("$files/$(head -c 40 /dev/zero | tr '\0' x)$i"); done
check "usage error: no file" 2 "$(put)"
check "usage error: directory over 254 characters" 2 "$(put -p "/$(head -c 254 /dev/zero | tr '\0' d)" "$files/one.nc")"
check "usage error: list over 8191 bytes" 2 "$(put "${many[@]}")"
# Ctrl-C once vtx has reported its first file, while the second is on its way on a slow controller.
echo "ack-delay:300" > "$work/control"
"$vtx" --port "$port" put "$files/one.nc" "$files/big.nc" 2> "$work/err" &
pid=$!
until grep -q '^one.nc: ' "$work/err" || ! kill -0 "$pid" 2> /dev/null; do sleep 0.05; done
kill -INT "$pid" 2> /dev/null
wait "$pid"
check "Ctrl-C: status" 1 "$?"
check_lines "Ctrl-C: vtx ends the progress line, says it cancels, ends after the current block and says so" \
  "$(grep -v '^one.nc: ' "$work/err")" "" "vtx: cancelling after the current block (Ctrl-C again to quit at once)" \
  "Upload cancelled; the controller was told (CAN)."
exit $((failures ? 7 : 0))
CHECKS
status=$?
[ ! -e "$work/link" ] || { echo "FAIL the link stayed"; exit 1; }
[ "$status" -eq 7 ] && echo "some checks failed (status 7 passed on)"
exit "$status"
