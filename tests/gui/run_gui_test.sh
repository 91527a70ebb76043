#!/usr/bin/env bash
# Runs a Windows GUI test program on a virtual X display unless one is there.
#   run_gui_test.sh COMMAND...
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
