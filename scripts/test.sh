#!/usr/bin/env bash
# Installs what is missing, builds the Linux and Windows programs and runs
# every test: native, native under ASan/UBSan, short fuzz runs, and the
# Windows tests under Wine and Xvfb. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

bash scripts/install-deps.sh

step() { printf '\n== %s\n' "$*"; }

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

step "fuzz targets, short runs"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers
bash scripts/run-fuzzers.sh "${FUZZ_SECONDS:-8}"

step "Windows build and tests under Wine"
cmake --preset win64 >/dev/null
cmake --build --preset win64
bash scripts/wine-prefix.sh build/win64/wineprefix build/win64/ports
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset win64
WINEPREFIX=$PWD/build/win64/wineprefix wineserver -k 2>/dev/null || true

step "all tests passed in $(( $(date +%s) - start )) s"
