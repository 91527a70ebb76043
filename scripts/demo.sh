#!/usr/bin/env bash
# Runs VBrowser.exe under Wine against the simulated controller.
#
# Installs what is missing, builds the simulator and vtx (native preset) and
# the 32-bit VBrowser.exe that ships (win32 preset), copies the sample
# storage to build/demo/root and puts the controller on COM1, the browser's
# default port, of a private 32-bit Wine prefix. On a machine that runs no
# 32-bit programs (scripts/windows-build.sh decides; VBROWSER_NO_32BIT=1
# forces it) the demo shows the 64-bit VBrowser.exe (win64 preset) in a 64-bit
# prefix instead.
#
# With a display: the browser opens and you can connect, browse, upload,
# delete and fetch the lists; the demo ends when you close the window.
# Without one: the browser runs on a virtual display and uploads a sample file
# into /ram/cncprg/ by itself ("-u FILE -p /ram/cncprg/ -q"). The demo then
# prints where the last screenshot of the window is and what the controller
# holds.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

# DEMO_NATIVE_DIR and DEMO_WINDOWS_DIR point at builds made elsewhere (then
# nothing is installed or built here; DEMO_WINDOWS_DIR holds the build that
# this machine runs).
[ -z "${DEMO_NATIVE_DIR:-}${DEMO_WINDOWS_DIR:-}" ] && bash scripts/install-deps.sh
source scripts/windows-build.sh
build=$VBROWSER_WINDOWS_BUILD
native=${DEMO_NATIVE_DIR:-$top/build/native}
windows=${DEMO_WINDOWS_DIR:-$top/build/$build}
if [ -z "${DEMO_NATIVE_DIR:-}${DEMO_WINDOWS_DIR:-}" ]; then
  echo "== building the simulator and vtx"
  cmake --preset native >/dev/null
  cmake --build --preset native --target vantorix-sim vtx
  if [ "$build" = win32 ]; then
    echo "== building VBrowser.exe (32-bit, the one that ships)"
  else
    echo "== building VBrowser.exe in its 64-bit build (win64 preset): $VBROWSER_WINDOWS_REASON"
  fi
  cmake --preset "$build" >/dev/null
  cmake --build --preset "$build" --target VBrowser
fi

demo=$top/build/demo
rm -rf "$demo"
mkdir -p "$demo/program" "$demo/ports"
cp -r sim/sample "$demo/root"
cp "$windows/VBrowser.exe" "$demo/program/"
printf '[Vantorix]\r\nPort=COM1\r\nBaudrate=57600\r\nUsePath=0\r\nLogFile=0\r\n' > "$demo/program/Vantorix1.ini"
printf '%%\r\nO1000 (DEMO PART)\r\nG0 X0 Y0 Z5\r\nG1 Z-1 F100\r\nG1 X40 Y0\r\nG1 X40 Y20\r\nG1 X0 Y20\r\nG1 X0 Y0\r\nG0 Z5\r\nM30\r\n%%\r\n' \
  > "$demo/program/demo-part.nc"

prefix=$top/build/$build/wineprefix-demo
echo "== preparing the $build Wine prefix $prefix (COM1 -> $demo/ports/com1)"
bash scripts/wine-prefix.sh "$prefix" "$demo/ports" "$build"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export VANTORIX_SIM=$native/vantorix-sim

# Runs inside the simulator's lifetime; VANTORIX_SIM_PTY names its terminal.
if [ -n "${DISPLAY:-}" ]; then
  cat <<TEXT
== VBrowser.exe is starting. Press "Connect" (port COM1), then browse the
   tree, "Upload" a PC file (for example $demo/program/demo-part.nc, drive Z:),
   select files and "Delete", or fetch "Show Parameters.txt" / "Show ToolList.txt".
   The controller's storage is $demo/root. Close the window to end the demo.
TEXT
  scripts/with-sim.sh "$demo/ports/com1" --root "$demo/root" -- bash -c '
    cd "$0/program" && "$VBROWSER_WINE" VBrowser.exe
    echo "== the controller now holds:"
    "$1/vtx" --port "$VANTORIX_SIM_PTY" ls' "$demo" "$native"
  wineserver -k 2>/dev/null || true
  exit 0
fi

echo "== no display: an automatic upload of demo-part.nc into /ram/cncprg/ on a virtual display"
scripts/with-sim.sh "$demo/ports/com1" --root "$demo/root" -- \
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    demo=$0
    cd "$demo/program"
    "$VBROWSER_WINE" VBrowser.exe -u demo-part.nc -p /ram/cncprg/ -q &
    browser=$!
    # Keep the last picture taken while the main window was on the screen.
    while kill -0 "$browser" 2>/dev/null; do
      if xwininfo -root -tree 2>/dev/null | grep -q "\"Vantorix1-Browser\""; then
        import -window root "$demo/shot.png" 2>/dev/null && mv -f "$demo/shot.png" "$demo/vbrowser.png"
      fi
      sleep 0.5
    done
    wait "$browser"
    echo "== VBrowser.exe ended with status $?"
    wineserver -k 2>/dev/null || true' "$demo"
if [ -f "$demo/vbrowser.png" ]; then
  echo "== screenshot of the window: $demo/vbrowser.png"
else
  echo "== no screenshot was taken"
fi
echo "== the controller now holds (from $demo/root):"
scripts/with-sim.sh "$demo/ports/com1" --root "$demo/root" -- \
  bash -c '"$0/vtx" --port "$VANTORIX_SIM_PTY" ls' "$native"
