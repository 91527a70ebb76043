# Which build of the Windows programs this machine can run under Wine: the one place that decides it, for the
# demo, the test command and the Windows tests. Sourced, it sets
#   VBROWSER_WINDOWS_BUILD   win32 where the kernel runs 32-bit programs, else win64
#   VBROWSER_WINE            the Wine loader to start every Windows program with
#   VBROWSER_WINDOWS_REASON  why, in words ("this machine runs no 32-bit programs")
# and, for win64, WINELOADER, which Wine's 64-bit loader uses to start the programs it needs itself.
# Some kernels refuse every 32-bit program (containers and sandboxes without IA-32 emulation, WSL 1); Debian's
# `wine` then fails even for 64-bit programs, since it always starts the 32-bit loader when wine32 is there.
#
# The answer is found once per run by running a 32-bit program, and carried to child processes through the
# environment. VBROWSER_NO_32BIT=1 makes any machine take the 64-bit way.
#   . scripts/windows-build.sh          decides (or takes the run's answer) and says it in one line on stderr
#   VBROWSER_QUIET_BUILD=1 . ...        the same without the line, for the scripts that only start Wine

# 0 when this kernel starts a 32-bit program: a static i386 ELF of 95 bytes that calls exit(42) and needs no
# library, so the answer does not depend on which 32-bit packages are installed.
runs_32bit_programs() {
  local dir program status build
  # Inside the build folder, where programs run anyway: a temporary folder may be mounted noexec, which would
  # refuse any program and so give the wrong answer.
  build=$(dirname "${BASH_SOURCE[0]}")/../build
  mkdir -p "$build" 2> /dev/null || build=${TMPDIR:-/tmp}
  dir=$(mktemp -d "$build/vbrowser-i386.XXXXXX") || return 1
  program=$dir/exit42
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08' \
    > "$program"
  printf '\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' \
    >> "$program"
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5f\x00\x00\x00\x5f\x00\x00\x00' \
    >> "$program"
  printf '\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\xb3\x2a\xb8\x01\x00\x00\x00\xcd\x80' >> "$program"
  chmod +x "$program"
  "$program" 2> /dev/null
  status=$?
  rm -rf "$dir"
  [ "$status" -eq 42 ]
}

if [ -z "${VBROWSER_WINDOWS_BUILD:-}" ] || [ -z "${VBROWSER_WINDOWS_REASON:-}" ]; then
  if [ "${VBROWSER_NO_32BIT:-0}" = 1 ]; then
    VBROWSER_WINDOWS_BUILD=win64
    VBROWSER_WINDOWS_REASON="this machine is taken as one that runs no 32-bit programs (VBROWSER_NO_32BIT=1)"
  elif runs_32bit_programs; then
    VBROWSER_WINDOWS_BUILD=win32
    VBROWSER_WINDOWS_REASON="this machine runs 32-bit programs"
  else
    VBROWSER_WINDOWS_BUILD=win64
    VBROWSER_WINDOWS_REASON="this machine runs no 32-bit programs"
  fi
  if [ "${VBROWSER_QUIET_BUILD:-0}" != 1 ]; then
    if [ "$VBROWSER_WINDOWS_BUILD" = win32 ]; then
      echo "$VBROWSER_WINDOWS_REASON" >&2
    else
      echo "$VBROWSER_WINDOWS_REASON: the Windows programs are tried in their 64-bit build" >&2
    fi
  fi
fi
case $VBROWSER_WINDOWS_BUILD in
  win32) VBROWSER_WINE=wine ;;
  win64)
    # Wine's own 64-bit loader; Debian's wrapper would start the 32-bit one whenever wine32 is installed.
    VBROWSER_WINE=/usr/lib/wine/wine64
    [ -x "$VBROWSER_WINE" ] || VBROWSER_WINE=wine64
    export WINELOADER=$VBROWSER_WINE
    ;;
  *)
    echo "windows-build: VBROWSER_WINDOWS_BUILD is '$VBROWSER_WINDOWS_BUILD', not win32 or win64" >&2
    return 2 2> /dev/null || exit 2
    ;;
esac
export VBROWSER_WINDOWS_BUILD VBROWSER_WINE VBROWSER_WINDOWS_REASON
