#!/usr/bin/env bash
# Runs one Windows GUI test program on a virtual X display unless one is there.
#   run_gui_test.sh -- COMMAND...
[ "${1:-}" = "--" ] && shift
[ -n "${DISPLAY:-}" ] && exec "$@"
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
