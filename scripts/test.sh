#!/usr/bin/env bash
# Installs the dependencies, checks the formatting of the C++ sources, builds everything and runs
# the whole test suite, then builds the unit tests with AddressSanitizer +
# UndefinedBehaviorSanitizer and runs them again, then runs each fuzz target for 30 seconds from
# its seed corpus. A fuzzer's progress, and what the libraries print about its inputs (libpng
# warns about every damaged checksum), go to a log file per target. The run ends with a summary
# of every stage, naming the one that failed.
set -euo pipefail
cd "$(dirname "$0")/.."

stage="set-up"
summary=()
finish() {
  local status=$?
  echo
  echo "== Summary"
  if [ "${#summary[@]}" -gt 0 ]; then
    printf '  %s\n' "${summary[@]}"
  fi
  if [ "$status" -ne 0 ]; then
    echo "  FAILED: $stage (exit status $status)"
  fi
}
trap finish EXIT

stage="dependencies"
bash scripts/install-deps.sh
stage="formatting"
bash scripts/check-format.sh
summary+=("formatting: every C++ file formatted")

jobs=$(nproc 2>/dev/null || echo 2)

# ctest in the build folder DIR with the environment VAR=VALUE..., its output also kept in
# DIR/ctest.log; the count it ends with ("100% tests passed, 0 tests failed out of 99") goes into
# the summary under LABEL.
run_tests() {
  local label=$1 dir=$2
  shift 2
  env "$@" ctest --test-dir "$dir" --output-on-failure -j "$jobs" 2>&1 | tee "$dir/ctest.log"
  summary+=("$label: $(grep -m1 'tests passed' "$dir/ctest.log")")
}

stage="build"
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j "$jobs"
stage="tests"
run_tests tests build/test

stage="sanitizer build"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRIMSAL_SANITIZE=ON \
  -DBRIMSAL_BUILD_BENCH=OFF
cmake --build build/asan -j "$jobs"
stage="tests under ASan+UBSan"
run_tests "tests under ASan+UBSan" build/asan \
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
  LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

fuzz_targets=(fuzz_tiff_frame fuzz_map_png)
stage="fuzz build"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DBRIMSAL_FUZZ=ON -DBRIMSAL_BUILD_TESTS=OFF -DBRIMSAL_BUILD_BENCH=OFF
cmake --build build/fuzz -j "$jobs" --target "${fuzz_targets[@]}"
for target in "${fuzz_targets[@]}"; do
  log="build/fuzz/$target.log"
  stage="fuzzing $target (its log: $log)"
  echo "== $target: 30 s, log in $log"
  # New inputs go to a scratch folder; the seed corpus in the repository stays as it is.
  scratch=$(mktemp -d)
  "build/fuzz/tests/fuzz/$target" -max_total_time=30 -rss_limit_mb=4096 -print_final_stats=1 \
    "$scratch" "tests/fuzz/corpus/$target" >"$log" 2>&1
  rm -rf "$scratch"
  runs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log")
  summary+=("$target: ${runs:-?} inputs in 30 s, none failed (log: $log)")
done
