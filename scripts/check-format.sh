#!/usr/bin/env bash
# Checks that every git-tracked C++ file (*.cpp, *.h) is formatted as .clang-format says; prints the
# files that are not and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 2; }
bad=()
while IFS= read -r -d '' f; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done < <(git ls-files -z -- '*.cpp' '*.h')
if ((${#bad[@]})); then
  echo "check-format: ${#bad[@]} file(s) not formatted (run clang-format -i on them):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "check-format: all C++ files formatted"
