#!/usr/bin/env bash
# The main job on the built-in sample: installs the dependencies, builds Brimsal, makes a
# synthetic bracketed RAW series with brimsal-synth and runs brimsal-cli over it with the start
# settings, then names the files it wrote.
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
echo
echo "== brimsal-cli $reference"
build/release/src/cli/brimsal-cli "$reference"

echo
echo "== Files written in $sample"
find "$sample" -maxdepth 1 -type f \( -name 'BR_*' -o -name 'Map_*' -o -name 'His_*' \
  -o -name 'BWTest_*' \) -printf '%f\n' | sort
