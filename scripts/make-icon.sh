#!/usr/bin/env bash
# Draws the program's icon (a folder in front of a controller front panel) and
# writes res/vbrowser.ico with 16, 32 and 48 pixel images. The .ico is kept in
# the repository; run this only to change the drawing.
set -euo pipefail
convert=/usr/bin/convert
out=$(cd "$(dirname "$0")/.." && pwd)/res/vbrowser.ico
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Drawn once at 256 pixels and scaled down for each size.
"$convert" -size 256x256 xc:none \
  -fill '#1f3b5c' -stroke '#0d1b2a' -strokewidth 8 -draw 'roundrectangle 16,24 240,200 24,24' \
  -fill '#4fc3f7' -stroke none -draw 'rectangle 40,48 216,96' \
  -fill '#7cfc00' -draw 'circle 196,150 196,164' \
  -fill '#ffca28' -stroke '#8d6e00' -strokewidth 6 \
  -draw 'polygon 56,120 112,120 128,140 200,140 200,236 56,236' \
  -fill '#ffe082' -stroke '#8d6e00' -strokewidth 6 -draw 'polygon 56,156 200,156 200,236 56,236' \
  "$work/icon.png"
for size in 16 32 48; do
  "$convert" "$work/icon.png" -resize ${size}x${size} "$work/icon-$size.png"
done
"$convert" "$work/icon-16.png" "$work/icon-32.png" "$work/icon-48.png" "$out"
echo "wrote $out"
