#!/usr/bin/env bash
# Runs a command beside a simulated controller and stops the controller
# afterwards, also when the command fails or the script is interrupted.
#   scripts/with-sim.sh LINKPATH [vantorix-sim options...] -- COMMAND...
# LINKPATH becomes a symlink to the controller's pseudo-terminal while COMMAND
# runs; COMMAND also finds the terminal's path in VANTORIX_SIM_PTY. The exit
# status is COMMAND's. VANTORIX_SIM overrides the simulator binary
# (default: build/native/vantorix-sim).
set -uo pipefail

usage() {
  echo "usage: $0 LINKPATH [vantorix-sim options...] -- COMMAND..." >&2
  exit 2
}

[ $# -ge 1 ] || usage
link=$1
shift
options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  options+=("$1")
  shift
done
[ $# -gt 0 ] || usage
shift
[ $# -gt 0 ] || usage

here=$(cd "$(dirname "$0")" && pwd)
sim=${VANTORIX_SIM:-$here/../build/native/vantorix-sim}
if [ ! -x "$sim" ]; then
  echo "$0: no simulator at $sim (build the native preset or set VANTORIX_SIM)" >&2
  exit 2
fi

mkdir -p "$(dirname "$link")"
pathfile=$(mktemp)
simpid=

stop_sim() {
  if [ -n "$simpid" ] && kill -0 "$simpid" 2>/dev/null; then
    kill -TERM "$simpid" 2>/dev/null
    wait "$simpid" 2>/dev/null
  fi
  rm -f "$pathfile"
}
trap stop_sim EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$sim" --link "$link" "${options[@]}" > "$pathfile" &
simpid=$!

# The simulator prints the terminal's path once the link is in place.
for _ in $(seq 1 200); do
  if [ -s "$pathfile" ] && [ -L "$link" ]; then
    break
  fi
  if ! kill -0 "$simpid" 2>/dev/null; then
    wait "$simpid"
    echo "$0: the simulator ended before it was ready (status $?)" >&2
    exit 1
  fi
  sleep 0.05
done
if [ ! -L "$link" ]; then
  echo "$0: the simulator did not make $link in time" >&2
  exit 1
fi
VANTORIX_SIM_PTY=$(head -n 1 "$pathfile")
export VANTORIX_SIM_PTY

"$@"
status=$?
exit "$status"
