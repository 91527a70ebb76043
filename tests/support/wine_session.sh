#!/usr/bin/env bash
# The Wine session of the Windows tests: the prefix (scripts/wine-prefix.sh) and one Wine server that
# stays up until stop, whose helper programs are started here with no output. Otherwise the test that
# happened to start them would keep their output open, and ctest would count it running until they end.
#   wine_session.sh start PREFIX PORTDIR ARCH | stop PREFIX
set -euo pipefail
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$1" = stop ]; then
  wineserver -k 2> /dev/null || true
  exit 0
fi
"$(dirname "$0")/../../scripts/wine-prefix.sh" "$2" "$3" "$4"
wineserver -p > /dev/null 2>&1 < /dev/null
"$(dirname "$0")/../../scripts/wine.sh" wineboot > /dev/null 2>&1 < /dev/null
