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
  python3 - "$work/VBrowser-$version-win64.zip" "$version" <<'CHECK'
import sys, zipfile
package = zipfile.ZipFile(sys.argv[1])
assert sorted(package.namelist()) == ["Readme.txt", "VBrowser.exe"], package.namelist()
readme = package.read("Readme.txt")
assert readme.count(b"\n") > 100 and readme.count(b"\n") == readme.count(b"\r\n"), "Readme.txt needs CR LF"
assert b"version " + sys.argv[2].encode() in readme
exe = package.read("VBrowser.exe")
assert exe[:2] == b"MZ" and sys.argv[2].encode("utf-16-le") in exe, "no version resource"
assert "CompanyName".encode("utf-16-le") in exe and "LegalCopyright".encode("utf-16-le") in exe
assert b'level="asInvoker"' in exe and b"<gdiScaling" in exe, "manifest"
CHECK
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
grep -q 'list the serial devices' <<<"$(zcat "$work/root/usr/share/man/man1/vtx.1.gz")"
grep -q 'simulated Vantorix' <<<"$(zcat "$work/root/usr/share/man/man1/vantorix-sim.1.gz")"
completion=$(PATH=$bin:$PATH bash -c '. "$1"; COMP_WORDS=(vtx p); COMP_CWORD=1; _vtx; echo "${COMPREPLY[*]}"' _ \
             "$work/root/usr/share/bash-completion/completions/vtx")
[ "$completion" = "put params ports" ]
lintian --fail-on error,warning "$deb"
