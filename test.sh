#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs the whole test suite.
# Arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/start-cups.sh
# ./test.sh --sanitize [address|thread|fuzz|all]: the suite under the
# sanitizers instead (build-asan, build-tsan, build-fuzz); see the script.
if [ "${1:-}" = "--sanitize" ]; then
  shift
  exec ./scripts/sanitize.sh "$@"
fi
jobs="$(nproc)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
export QT_QPA_PLATFORM=offscreen
cd build
ctest --output-on-failure -j"$jobs" "$@"
# A user's session with the real windows, under an X server of its own.
cd .. && tests/e2e/run_e2e.sh build
