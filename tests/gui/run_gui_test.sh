#!/usr/bin/env bash
# Runs one Windows GUI test program on a virtual X display (unless one is
# already there) and turns the .bmp pictures it left into .png files.
#   run_gui_test.sh SCREENSHOT_DIR -- COMMAND...
set -uo pipefail
shots=$1
shift
[ "${1:-}" = "--" ] && shift
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$shots" -- "$@"
fi
mkdir -p "$shots"
export VBROWSER_SCREENSHOTS="$shots"
"$@"
status=$?
for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] || continue
  /usr/bin/convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $status
