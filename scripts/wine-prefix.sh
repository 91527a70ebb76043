#!/usr/bin/env bash
# Makes (once) a private Wine prefix for the Windows tests and the demo, and
# maps COM1..COM9 to symlinks in PORTDIR (PORTDIR/com1 ...), which a test or
# the demo points at the pseudo-terminal of a simulated controller.
#   scripts/wine-prefix.sh PREFIX PORTDIR
set -euo pipefail
prefix=$(realpath -m "$1")
portdir=$(realpath -m "$2")
mkdir -p "$portdir"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stamp="$prefix/.vbrowser-ports"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$portdir" ]; then
  exit 0
fi
mkdir -p "$prefix"
wineboot -i >/dev/null 2>&1 || true
reg=$(mktemp --suffix=.reg)
{
  echo 'REGEDIT4'
  echo
  echo '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]'
  echo '"Managed"="N"'
  echo
  echo '[HKEY_LOCAL_MACHINE\Software\Wine\Ports]'
  for n in 1 2 3 4 5 6 7 8 9; do echo "\"COM$n\"=\"$portdir/com$n\""; done
} > "$reg"
wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
rm -f "$reg"
wineserver -w
echo "$portdir" > "$stamp"
