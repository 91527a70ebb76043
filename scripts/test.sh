#!/usr/bin/env bash
# Installs what is missing, builds the Linux and Windows programs and runs
# every test: native, native under ASan/UBSan, the upload worker's tests under
# ThreadSanitizer, short fuzz runs, and the Windows tests under Wine and Xvfb.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

bash scripts/install-deps.sh
# Which Windows build this machine can run under Wine, said in one line and kept for the whole run.
source scripts/windows-build.sh

# Each step says when it starts, so that a slow run shows where its time went.
step() { printf '\n== %s (at %d s)\n' "$*" $(( $(date +%s) - start )); }

# The runs made here are CI's: a test that this machine can run fails instead of skipping (CI=true), unless the
# caller set CI otherwise.
export CI=${CI:-true}

# Four build trees compile mostly the same sources; a compiler cache keeps a
# second run (and the trees after the first) from compiling them again.
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
# The test binaries share a precompiled header; the cache may take their files only when told to.
export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros}

step "native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

step "vtx under valgrind against the simulated controller"
bash scripts/valgrind-check.sh build/native

step "sanitizer build and tests (ASan + UBSan), without the process-level tests the plain pass ran"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -LE process

step "thread sanitizer: the upload worker on its own thread beside the dialog's side"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan

step "fuzz targets, short runs"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers
bash scripts/run-fuzzers.sh "${FUZZ_SECONDS:-8}"

# The Windows programs that ship are the 32-bit ones; they are tested in a
# 32-bit prefix. A machine that runs no 32-bit programs runs the same tests on
# the 64-bit build (same source) in a 64-bit prefix, and checks the 32-bit zip
# by its headers and imports without starting it.
windows=$VBROWSER_WINDOWS_BUILD
if [ "$windows" = win32 ]; then
  step "Windows build (32-bit) and tests under 32-bit Wine"
  cmake --preset win32 >/dev/null
  cmake --build --preset win32
  tested="the Windows tests ran on the 32-bit build, the one that ships"
else
  step "the 32-bit Windows programs that ship: built, and their zip checked without starting them"
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target VBrowser vtx
  ctest --preset win32 -R '^package_zip$' --fixture-exclude-any gui_wine
  step "Windows build (64-bit) and tests under 64-bit Wine"
  cmake --preset win64 >/dev/null
  cmake --build --preset win64
  tested="the Windows tests ran on the 64-bit build: $VBROWSER_WINDOWS_REASON"
fi
bash scripts/wine-prefix.sh "build/$windows/wineprefix" "build/$windows/ports" "$windows"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset "$windows"
WINEPREFIX=$PWD/build/$windows/wineprefix wineserver -k 2>/dev/null || true

printf '\n== all tests passed in %d s; %s\n' $(( $(date +%s) - start )) "$tested"
