#!/usr/bin/env bash
# Installs what is missing, builds the Linux and Windows programs and runs
# every test: native, native under ASan/UBSan, the upload worker's tests under
# ThreadSanitizer, short fuzz runs, and the Windows tests under Wine and Xvfb.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

bash scripts/install-deps.sh

step() { printf '\n== %s\n' "$*"; }

# The runs made here are CI's: a test that this machine can run fails instead of skipping (CI=true), unless the
# caller set CI otherwise.
export CI=${CI:-true}

# Four build trees compile mostly the same sources; a compiler cache keeps a
# second run (and the trees after the first) from compiling them again.
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache

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
# 32-bit prefix. (The win64 preset builds and tests the 64-bit ones by hand.)
step "Windows build (32-bit) and tests under 32-bit Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32
bash scripts/wine-prefix.sh build/win32/wineprefix build/win32/ports win32
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset win32
WINEPREFIX=$PWD/build/win32/wineprefix wineserver -k 2>/dev/null || true

step "all tests passed in $(( $(date +%s) - start )) s"
