#!/usr/bin/env bash
# A Windows test program beside a simulated controller on PORTLINK serving a fresh copy of the sample storage
# (with an empty /ram/x/), found in VBROWSER_SIM_ROOT; VBROWSER_SIM_BAUD paces the line.
#   run_sim_test.sh SIMULATOR PORTLINK -- COMMAND...   (exits 77, skipped, without the simulator; fails with CI=true)
set -uo pipefail
sim=$1 link=$2 here=$(cd "$(dirname "$0")" && pwd)
shift 3   # and the --
if [ ! -x "$sim" ]; then
  echo "no simulator at $sim (build the native preset first)"
  if [ "${CI:-}" = true ]; then
    exit 1
  fi
  echo "skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$here/../../sim/sample" "$work/root"
mkdir -p "$work/root/ram/x"
printf 'X=1\n' > "$work/params"
printf 'T1 D=10\n' > "$work/tools"
: > "$work/control"
export VBROWSER_SIM_ROOT="$work/root"
VANTORIX_SIM=$sim "$here/../../scripts/with-sim.sh" "$link" --root "$work/root" --control "$work/control" \
  --params "$work/params" --tools "$work/tools" ${VBROWSER_SIM_BAUD:+--baud "$VBROWSER_SIM_BAUD"} \
  -- "$@"
