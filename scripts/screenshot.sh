#!/usr/bin/env bash
# The README's picture of the main window after a blend: makes the sample series with
# brimsal-synth and runs brimsal-screenshot over it on a virtual X display (Xvfb).
# Usage: scripts/screenshot.sh [BUILD_DIR] [OUT.png]   (defaults: build, docs/window.png)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
out=${2:-docs/window.png}
cmake --build "$build" --target brimsal-screenshot brimsal-synth

sample=$(mktemp -d)
trap 'rm -rf "$sample"' EXIT
"$build"/tools/synth/brimsal-synth --out "$sample" --size 1200x800 >/dev/null
reference=$(find "$sample" -maxdepth 1 -name '*.dng' | sort | head -n 1)

# The xcb platform on Xvfb, not the offscreen one: the picture is what a display shows.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build"/tools/screenshot/brimsal-screenshot "$reference" "$out"
echo "screenshot: $out"
