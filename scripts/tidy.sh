#!/usr/bin/env bash
# Runs the checks .clang-tidy names with the compile commands of a build
# folder (default: build, as ./test.sh leaves it). Any finding fails.
#
#   scripts/tidy.sh [--all] [BUILD_DIR]
#
# Without --all: the sources of the programs' libraries, what CI checks
# (about five minutes on two idle cores). With --all: the tests and the
# benchmarks too, which take as long again (the test macros are slow to
# parse); run it before a change to them is committed.
set -euo pipefail
cd "$(dirname "$0")/.."
scope="alarms|app|archive|calendar|chart|cli|data|graph|logger|report|runtime|serial|sim|widgets"
if [[ "${1:-}" == "--all" ]]; then
  scope="$scope|tests|bench"
  shift
fi
build="${1:-build}"
[[ -f "$build/compile_commands.json" ]] || {
  echo "tidy: no $build/compile_commands.json; build first (./test.sh or cmake -B $build)" >&2
  exit 1
}
runner="$(command -v run-clang-tidy-14 || command -v run-clang-tidy)"
tidy="$(command -v clang-tidy-14 || command -v clang-tidy)"
root="$(pwd)"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# Only our own sources: not what CMake generates in the build folder.
"$runner" -clang-tidy-binary "$tidy" -p "$build" -j "$(nproc)" -quiet \
  "^$root/($scope)/" >"$log" 2>&1 || true
findings="$(sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E '^/.*: (error|warning): ' | sort -u || true)"
if [[ -n "$findings" ]]; then
  echo "$findings" >&2
  echo "tidy: $(echo "$findings" | wc -l) findings" >&2
  exit 1
fi
if grep -q "Error while processing" "$log"; then
  sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -B2 "Error while processing" >&2
  exit 1
fi
echo "tidy: clean"
