#!/usr/bin/env bash
# Runs a Windows test program beside a simulated controller on COM5 of the
# build's Wine prefix, with a fresh copy of the sample storage.
#   run_window_sim_test.sh SOURCE_DIR BUILD_DIR -- COMMAND...
# The program finds the storage in VBROWSER_SIM_ROOT, the fault control file
# in VBROWSER_SIM_CONTROL and the build folder (VBrowser.exe) in VBROWSER_BUILD.
set -uo pipefail
source_dir=$1
build_dir=$2
shift 2
[ "${1:-}" = "--" ] && shift
work="$build_dir/tests/remote/sim-work"
rm -rf "$work"
mkdir -p "$work"
cp -r "$source_dir/sim/sample" "$work/root"
mkdir -p "$work/root/ram/x"
printf 'X=1\n' > "$work/params"
printf 'T1 D=10\n' > "$work/tools"
: > "$work/control"
export VBROWSER_SIM_ROOT="$work/root" VBROWSER_SIM_CONTROL="$work/control" VBROWSER_BUILD="$build_dir"
exec "$source_dir/scripts/with-sim.sh" "$build_dir/ports/com5" --root "$work/root" --control "$work/control" \
  --params "$work/params" --tools "$work/tools" -- "$@"
