#!/usr/bin/env bash
# Makes the package of a build folder with cpack and looks into it.
#   check_package.sh zip|deb BUILD_DIR VERSION
set -euo pipefail
kind=$1 build=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'echo "check_package: line $LINENO failed: $BASH_COMMAND" >&2' ERR
cpack --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" || { cat "$work/cpack.log"; exit 1; }

if [ "$kind" = zip ]; then
  python3 "$(dirname "$0")/check_zip.py" "$work/VBrowser-$version-win32.zip" "$version" "$work/programs"
  # The zip's console program starts under 32-bit Wine, on a machine that runs 32-bit programs; elsewhere its
  # headers and imports above are what can be checked.
  VBROWSER_QUIET_BUILD=1 source "$(dirname "$0")/../../scripts/windows-build.sh"
  if [ "$VBROWSER_WINDOWS_BUILD" = win64 ]; then
    echo "check_package: the zip's vtx.exe was not started: $VBROWSER_WINDOWS_REASON"
    exit
  fi
  [ "$(WINEDEBUG=-all "$VBROWSER_WINE" "$work/programs/vtx.exe" --version | tr -d '\r')" = "vtx $version" ]
  exit
fi

deb=$work/vtx_${version}_$(dpkg --print-architecture).deb
dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin
[ "$("$bin/vtx" --version)" = "vtx $version" ]
[ "$("$bin/vantorix-sim" --version)" = "vantorix-sim $version" ]
# Each text is read whole first: grep -q stops early, and the writer's SIGPIPE would fail under pipefail.
grep -q -- '--root DIR' <<<"$("$bin/vantorix-sim" --help)"
grep -q libc6 <<<"$(dpkg-deb -f "$deb" Depends)"
# The man pages, as roff without its font changes and escapes: every section, every command of vtx --help with
# each option of its own --help in its section, and every fault of the simulator's table.
man1=$work/root/usr/share/man/man1
page() { zcat "$man1/$1.1.gz" | sed -e 's/\\f[BRI]//g' -e 's/\\-/-/g' -e 's/\\e/\\/g' -e 's/^\\&//'; }
vtxpage=$(page vtx) simpage=$(page vantorix-sim)
for section in NAME SYNOPSIS DESCRIPTION OPTIONS COMMANDS '"EXIT STATUS"' ENVIRONMENT EXAMPLES '"SEE ALSO"'; do
  grep -qx ".SH $section" <<<"$vtxpage" || { echo "vtx.1: no section $section" >&2; exit 1; }
done
grep -qx 'vtx - command-line client for Vantorix machine controllers' <<<"$vtxpage"
grep -qx 'VTX_PORT' <<<"$(sed -n '/^.SH ENVIRONMENT/,/^.SH/p' <<<"$vtxpage")"
grep -qx '130' <<<"$(sed -n '/^.SH "EXIT STATUS"/,/^.SH/p' <<<"$vtxpage")"
grep -qx 'vantorix-sim(1)' <<<"$vtxpage"
commands=$("$bin/vtx" --help | sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
[ "$(wc -w <<<"$commands")" -ge 6 ]
for command in $commands; do
  section=$(sed -n "/^.SS \"vtx $command\"\$/,/^.S[SH]/p" <<<"$vtxpage")
  [ -n "$section" ] || { echo "vtx.1: no section for vtx $command" >&2; exit 1; }
  for option in $("$bin/vtx" "$command" --help | grep -oE '(^|[ [])--?[a-z][-a-z]*' | tr -d ' [' | sort -u); do
    grep -qe "$option" <<<"$section" || { echo "vtx.1: vtx $command: no $option" >&2; exit 1; }
  done
done
faults=$(grep -oE '^ *\{"[a-z-]+", FAULT_' "$(dirname "$0")/../../sim/sim_faults.cpp" | cut -d'"' -f2)
[ "$(wc -w <<<"$faults")" -ge 20 ]
for fault in $faults; do
  grep -qE "^$fault(\$|[:[])" <<<"$simpage" || { echo "vantorix-sim.1: no fault $fault" >&2; exit 1; }
done
for name in vtx vantorix-sim; do
  [ -z "$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man1/$name.1.gz" 2>&1 > /dev/null)" ]
done
completion=$(PATH=$bin:$PATH bash -c '. "$1"; COMP_WORDS=(vtx p); COMP_CWORD=1; _vtx; echo "${COMPREPLY[*]}"' _ \
             "$work/root/usr/share/bash-completion/completions/vtx")
[ "$completion" = "put params ports" ]
lintian --fail-on error,warning "$deb"
