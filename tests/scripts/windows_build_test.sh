#!/usr/bin/env bash
# scripts/windows-build.sh against a 32-bit program started on its own, and scripts/wine-prefix.sh --whole on
# the prefixes of wine_prefix.rows.
#   windows_build_test.sh SOURCE_DIR
set -uo pipefail
source=$1 work=$(mktemp -d) failures=0
trap 'rm -rf "$work"' EXIT
check() {   # NAME EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok   $1"; return; fi
  echo "FAIL $1: expected [${2@Q}], got [${3@Q}]"
  failures=$((failures + 1))
}
# NAME=VALUE...: what sourcing the script in a clean environment with these variables sets, and what it says.
decide() {
  env -i PATH="$PATH" "$@" bash -c 'source "$0/scripts/windows-build.sh" 2> "$1"
    echo "$VBROWSER_WINDOWS_BUILD"; echo "$VBROWSER_WINE"; echo "${WINELOADER:-}"' "$source" "$work/said"
}

# The truth: Wine's 32-bit loader (from wine32, which install-deps.sh installs) starts or the kernel refuses it.
if [ ! -x /usr/lib/wine/wine ]; then
  echo "FAIL no /usr/lib/wine/wine to check the answer against (bash scripts/install-deps.sh installs wine32)"
  exit 1
fi
if /usr/lib/wine/wine --version > /dev/null 2>&1; then
  truth=win32 line="this machine runs 32-bit programs"
else
  truth=win64 line="this machine runs no 32-bit programs: the Windows programs are tried in their 64-bit build"
fi
mapfile -t got < <(decide)
check "the build this machine runs" "$truth" "${got[0]}"
check "the line that says it" "$line" "$(cat "$work/said")"

mapfile -t got < <(decide VBROWSER_NO_32BIT=1)
check "forced: the build" win64 "${got[0]}"
check "forced: the loader" /usr/lib/wine/wine64 "${got[1]}"
check "forced: the loader Wine starts its own programs with" /usr/lib/wine/wine64 "${got[2]}"
check "forced: the line" "this machine is taken as one that runs no 32-bit programs (VBROWSER_NO_32BIT=1): \
the Windows programs are tried in their 64-bit build" "$(cat "$work/said")"

# A run's answer is taken by its children without a second check or line.
mapfile -t got < <(decide VBROWSER_WINDOWS_BUILD=win64 VBROWSER_WINDOWS_REASON=earlier)
check "inherited: the build" win64 "${got[0]}"
check "inherited: nothing said again" "" "$(cat "$work/said")"

number=0
while IFS='|' read -r kind arch folders whole; do
  number=$((number + 1))
  case $kind in ''|'#'*) continue ;; esac
  prefix=$work/prefix$number
  mkdir -p "$prefix/drive_c/windows"
  [ -n "$arch" ] && printf 'WINE REGISTRY Version 2\n#arch=%s\n' "$arch" > "$prefix/system.reg"
  for folder in $folders; do
    mkdir -p "$prefix/drive_c/windows/$folder"
    : > "$prefix/drive_c/windows/$folder/kernel32.dll"
  done
  answer=no
  bash "$source/scripts/wine-prefix.sh" --whole "$prefix" "$kind" && answer=yes
  check "wine_prefix.rows:$number: $kind prefix of '$arch' with '$folders'" "$whole" "$answer"
done < "$(dirname "$0")/wine_prefix.rows"

echo "$failures failed"
[ "$failures" -eq 0 ]
