#!/usr/bin/env bash
# Line coverage of src/ and tools/ by the whole test suite: a Debug build with gcov counters
# (atomic, the kernels run on several threads), the full ctest run, then gcovr.
# Usage: scripts/coverage.sh [build-dir]   (default build/coverage)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/coverage}
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRIMSAL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic"
cmake --build "$dir" -j "$jobs"
find "$dir" -name '*.gcda' -delete
ctest --test-dir "$dir" -j "$jobs" --output-on-failure

# CMake's compiler probe leaves a counter file whose source is gone.
find "$dir/CMakeFiles" -name '*CompilerId*.gcno' -delete
for part in src tools; do
  echo "== $part"
  # The detailed report goes beside the build: gcovr replaces its output file, so naming a device
  # such as /dev/null would replace the device itself when run as root. Only this build's counters
  # are read: other builds inside the checkout hold counters of other versions of the sources.
  gcovr -r . "$dir" --object-directory "$dir" --filter "$part/" --print-summary \
    -o "$dir/coverage-$part.txt"
done
echo "== lines: tests/ vs src/ + tools/"
tests=$(find tests -name '*.cpp' -o -name '*.h' | xargs cat | wc -l)
code=$(find src tools -name '*.cpp' -o -name '*.h' | xargs cat | wc -l)
echo "tests $tests  code $code  ratio $(echo "scale=3; $tests / $code" | bc)"
