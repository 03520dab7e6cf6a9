#!/usr/bin/env bash
# Installs the dependencies, checks the formatting of the C++ sources, builds everything and runs
# the whole test suite, then builds the unit tests with AddressSanitizer +
# UndefinedBehaviorSanitizer and runs them again, then runs each fuzz target for 30 seconds from
# its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-format.sh

jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j "$jobs"
ctest --test-dir build/test --output-on-failure -j "$jobs"

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRIMSAL_SANITIZE=ON \
  -DBRIMSAL_BUILD_BENCH=OFF
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"

fuzz_targets=(fuzz_tiff_frame fuzz_map_png)
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DBRIMSAL_FUZZ=ON -DBRIMSAL_BUILD_TESTS=OFF -DBRIMSAL_BUILD_BENCH=OFF
cmake --build build/fuzz -j "$jobs" --target "${fuzz_targets[@]}"
for target in "${fuzz_targets[@]}"; do
  # New inputs go to a scratch folder; the seed corpus in the repository stays as it is.
  scratch=$(mktemp -d)
  "build/fuzz/tests/fuzz/$target" -max_total_time=30 -rss_limit_mb=4096 -print_final_stats=1 \
    "$scratch" "tests/fuzz/corpus/$target"
  rm -rf "$scratch"
done
