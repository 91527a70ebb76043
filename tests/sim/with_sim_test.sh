#!/usr/bin/env bash
# scripts/with-sim.sh: the command runs while the link exists, its status is
# passed on, and the simulator and its link are gone afterwards, also when
# the command fails.
set -u
script=$1
export VANTORIX_SIM=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work/root"
"$script" "$work/ports/com1" --root "$work/root" -- \
  sh -c 'test -L "$0" && test -n "$VANTORIX_SIM_PTY" && test "$(readlink "$0")" = "$VANTORIX_SIM_PTY"' \
  "$work/ports/com1"
[ $? -eq 0 ] || fail "the command did not see the link"
[ -e "$work/ports/com1" ] && fail "the link stayed"

"$script" "$work/ports/com1" --root "$work/root" -- sh -c 'exit 7'
[ $? -eq 7 ] || fail "the command's status was not passed on"
[ -e "$work/ports/com1" ] && fail "the link stayed after a failure"

"$script" "$work/ports/com1" --no-such-option -- true 2>/dev/null
[ $? -ne 0 ] || fail "a simulator that cannot start was not reported"

"$script" 2>/dev/null
[ $? -eq 2 ] || fail "usage"
echo "with-sim: all good"
