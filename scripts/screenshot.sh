#!/usr/bin/env bash
# The README's pictures of the main window after a blend, as it opens on a 1366 x 768 and on a
# 1920 x 1080 screen: makes the sample series with brimsal-synth and runs brimsal-screenshot over
# it on a virtual X display (Xvfb) of each size, then reduces each picture to 128 colours without
# dithering (pngquant), which keeps it small.
# Usage: scripts/screenshot.sh [BUILD_DIR]   (default build; writes docs/window-WxH.png)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
cmake --build "$build" --target brimsal-screenshot brimsal-synth

sample=$(mktemp -d)
trap 'rm -rf "$sample"' EXIT
"$build"/tools/synth/brimsal-synth --out "$sample" --size 1200x800 >/dev/null
reference=$(find "$sample" -maxdepth 1 -name '*.dng' | sort | head -n 1)

for screen in 1366x768 1920x1080; do
  out=docs/window-$screen.png
  # The xcb platform on Xvfb, not the offscreen one: the picture is what a display shows.
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 ${screen}x24" \
    "$build"/tools/screenshot/brimsal-screenshot "$reference" "$out"
  pngquant --force --speed 1 --nofs --ext .png 128 "$out"
  echo "screenshot: $out"
done
