#!/usr/bin/env bash
# Runs a Windows GUI test beside a simulated controller that serves a fresh
# copy of the sample storage on the given port link.
#   run_sim_gui_test.sh SIMULATOR PORTLINK SCREENSHOT_DIR -- COMMAND...
# Exits 77 (skipped) when the simulator has not been built.
set -uo pipefail
sim=$1 link=$2 shots=$3
shift 3
[ "${1:-}" = "--" ] && shift
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
if [ ! -x "$sim" ]; then
  echo "skipped: no simulator at $sim (build the native preset first)"
  exit 77
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cp -r "$source_dir/sim/sample/." "$root/"
VANTORIX_SIM=$sim "$source_dir/scripts/with-sim.sh" "$link" --root "$root" -- \
  "$here/run_gui_test.sh" "$shots" -- "$@"
