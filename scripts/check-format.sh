#!/usr/bin/env bash
# Checks that every C++ file the repository tracks is formatted with its .clang-format; lists the
# files that are not and exits 1. Fix them with: clang-format -i FILE...
set -euo pipefail
cd "$(dirname "$0")/.."
unformatted=()
while IFS= read -r -d '' file; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files -z '*.cpp' '*.h')
if [ "${#unformatted[@]}" -gt 0 ]; then
  echo "check-format: not formatted with .clang-format (clang-format -i FILE):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: every C++ file is formatted"
