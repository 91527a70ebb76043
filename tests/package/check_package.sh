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
  python3 - "$work/VBrowser-$version-win32.zip" "$version" "$work/programs" <<'CHECK'
import sys, zipfile
package = zipfile.ZipFile(sys.argv[1])
assert sorted(package.namelist()) == ["Readme.txt", "VBrowser.exe", "vtx.exe"], package.namelist()
readme = package.read("Readme.txt")
assert readme.count(b"\n") > 100 and readme.count(b"\n") == readme.count(b"\r\n"), "Readme.txt needs CR LF"
assert b"version " + sys.argv[2].encode() in readme
for name in ("VBrowser.exe", "vtx.exe"):
    exe = package.read(name)
    assert exe[:2] == b"MZ" and sys.argv[2].encode("utf-16-le") in exe, name + ": no version resource"
    assert "CompanyName".encode("utf-16-le") in exe and "LegalCopyright".encode("utf-16-le") in exe, name
    assert b'level="asInvoker"' in exe, name + ": manifest"
    # Windows refuses a manifest made for another processor.
    assert b'processorArchitecture="x86"' in exe and b'"amd64"' not in exe, name + ": manifest for x86"
assert b"<gdiScaling" in package.read("VBrowser.exe"), "manifest"
package.extractall(sys.argv[3], ["VBrowser.exe", "vtx.exe"])
CHECK
  python3 "$(dirname "$0")/pe_check.py" "$(dirname "$0")/windows7.txt" "$work/programs/VBrowser.exe" "$work/programs/vtx.exe"
  # The zip's console program starts under 32-bit Wine.
  [ "$(WINEDEBUG=-all wine "$work/programs/vtx.exe" --version | tr -d '\r')" = "vtx $version" ]
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
