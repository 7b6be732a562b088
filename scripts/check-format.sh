#!/usr/bin/env bash
# Fails when a C++ file the project tracks is not laid out as .clang-format
# says, naming the files; `clang-format -i FILE` puts one right.
set -euo pipefail
cd "$(dirname "$0")/.."
format="$(command -v clang-format-14 || command -v clang-format)"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
bad=()
for f in "${files[@]}"; do
  "$format" --style=file --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if ((${#bad[@]})); then
  echo "check-format: not laid out as .clang-format says (clang-format -i puts them right):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files as .clang-format says"
