#!/usr/bin/env bash
# Starts a Windows program (or one of Wine's own: wineboot, regedit, winepath) with the Wine loader that this
# machine can run: the command that every Windows test, the demo and the prefix script use instead of `wine`.
#   scripts/wine.sh PROGRAM [ARGUMENT...]
VBROWSER_QUIET_BUILD=1 source "$(dirname "$0")/windows-build.sh" || exit
exec "$VBROWSER_WINE" "$@"
