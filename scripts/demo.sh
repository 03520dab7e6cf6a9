#!/usr/bin/env bash
# The main job on the built-in sample: installs the dependencies, builds Brimsal and makes a
# synthetic bracketed RAW series with brimsal-synth. With a display, the window opens on it with
# the reference chosen (press Start, then Develop, Calc EV, Build map, Colour); without one (or
# with BRIMSAL_DEMO=console), brimsal-cli runs the same road with the start settings and the
# files it wrote are named.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRIMSAL_BUILD_TESTS=OFF \
  -DBRIMSAL_BUILD_BENCH=OFF
cmake --build build/release -j "$jobs"

sample=${BRIMSAL_SAMPLE_DIR:-$PWD/sample}
rm -rf "$sample"
mkdir -p "$sample"
build/release/tools/synth/brimsal-synth --out "$sample"

reference=$(find "$sample" -maxdepth 1 -name '*.dng' | sort | head -n 1)

if [ "${BRIMSAL_DEMO:-}" != console ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo
  echo "== brimsal $reference"
  if build/release/src/window/brimsal "$reference"; then
    exit 0
  fi
  echo "demo: the window could not open on this display; the console road instead" >&2
fi

echo
echo "== brimsal-cli $reference"
build/release/src/cli/brimsal-cli "$reference"

echo
echo "== Files written in $sample"
find "$sample" -maxdepth 1 -type f \( -name 'BR_*' -o -name 'Map_*' -o -name 'His_*' \
  -o -name 'BWTest_*' \) -printf '%f\n' | sort
