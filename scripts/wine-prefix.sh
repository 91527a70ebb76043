#!/usr/bin/env bash
# Makes (once) a private Wine prefix for the Windows tests and the demo, and
# maps COM1..COM9 and COM12 to symlinks in PORTDIR (PORTDIR/com1 ...), which a
# test or the demo points at the pseudo-terminal of a simulated controller.
#   scripts/wine-prefix.sh PREFIX PORTDIR [win32|win64]
#   scripts/wine-prefix.sh --whole PREFIX [win32|win64]    exit 0 when PREFIX is a whole prefix of that kind
# win32 (the default) is a 32-bit prefix, a 32-bit Windows 7 as it were, for
# the programs that ship; win64 a 64-bit one, for the 64-bit build, which
# needs no 32-bit side (a Wine without 32-bit support makes none). A prefix of
# the other kind, or a 32-bit one without its system DLLs because it was made
# before 32-bit Wine was installed (its programs fail with "could not load
# kernel32.dll"), is made again. Wine is started through scripts/wine.sh.
set -euo pipefail
wine=$(dirname "$0")/wine.sh
check_only=0
if [ "${1:-}" = --whole ]; then
  check_only=1
  shift
  set -- "$1" "" "${2:-win32}"
fi
prefix=$(realpath -m "$1")
arch=${3:-win32}
case $arch in
  win32|win64) ;;
  *) echo "usage: $0 PREFIX PORTDIR [win32|win64]" >&2; exit 2 ;;
esac
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stamp="$prefix/.vbrowser-ports"

# 0 when the prefix is of the wanted kind and has its system DLLs.
whole() {
  grep -qx "#arch=$arch" "$prefix/system.reg" 2>/dev/null || return 1
  [ -f "$prefix/drive_c/windows/system32/kernel32.dll" ]
}

if [ "$check_only" = 1 ]; then
  whole
  exit
fi
portdir=$(realpath -m "$2")
mkdir -p "$portdir"

if [ -e "$prefix" ] && ! whole; then
  # Only a folder that Wine made is removed (or an empty one).
  if [ -f "$prefix/system.reg" ] || [ -d "$prefix/dosdevices" ] || [ -z "$(ls -A "$prefix")" ]; then
    echo "wine-prefix: $prefix is no whole $arch prefix; making it again" >&2
    wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
  else
    echo "wine-prefix: $prefix is no Wine prefix; not touching it" >&2
    exit 1
  fi
fi
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$arch $portdir" ]; then
  exit 0
fi
mkdir -p "$prefix"
if [ ! -f "$prefix/system.reg" ]; then
  WINEARCH=$arch "$wine" wineboot -i >/dev/null 2>&1 || true
  wineserver -w   # the registry files are written when the server ends
fi
if ! whole; then
  echo "wine-prefix: wineboot made no whole $arch prefix in $prefix (is Wine installed? for win32: wine32:i386)" >&2
  exit 1
fi
reg=$(mktemp --suffix=.reg)
{
  echo 'REGEDIT4'
  echo
  echo '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]'
  echo '"Managed"="N"'
  echo
  echo '[HKEY_LOCAL_MACHINE\Software\Wine\Ports]'
  for n in 1 2 3 4 5 6 7 8 9 12; do echo "\"COM$n\"=\"$portdir/com$n\""; done
} > "$reg"
"$wine" regedit /S "$("$wine" winepath -w "$reg")" >/dev/null 2>&1
rm -f "$reg"
wineserver -w
echo "$arch $portdir" > "$stamp"
