#!/usr/bin/env bash
# The long fuzzing pass: scripts/fuzz.sh [seconds per fuzzer] [fuzzer ...]
# Builds the fuzzers with clang (build-fuzz), then runs each one for the given
# time (default 600 s) starting from the seeds and from what earlier runs of
# this script kept in build-fuzz/fuzz-work/<fuzzer>/corpus. Anything found is
# left in build-fuzz/fuzz-work/<fuzzer>/findings and makes the script fail;
# rerun one input with: build-fuzz/bin/fuzz_<name> <file>.
# Fuzzers: live_frame dump_decoder number_format serial_ini data_file (default: all).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
seconds="${1:-600}"
[ $# -gt 0 ] && shift
fuzzers=("$@")
[ ${#fuzzers[@]} -eq 0 ] && fuzzers=(live_frame dump_decoder number_format serial_ini data_file)

export QT_QPA_PLATFORM=offscreen
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTALVEX_FUZZ=ON -DTALVEX_BUILD_TESTS=OFF -DTALVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build-fuzz" -j"$(nproc)" --target talvex_fuzzers

failed=()
for f in "${fuzzers[@]}"; do
  echo "== fuzz_$f for $seconds s" >&2
  log="$root/build-fuzz/fuzz-work/$f.log"
  mkdir -p "$(dirname "$log")"
  if "$root/tests/fuzz/run_fuzzer.sh" "$root/build-fuzz/bin/fuzz_$f" "$root/build-fuzz/tests/fuzz/seeds/$f" \
      "$root/build-fuzz/fuzz-work/$f" "$seconds" 2>"$log"; then
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" >&2 || true
  else
    tail -n 40 "$log" >&2
    failed+=("$f")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]} (see build-fuzz/fuzz-work/<fuzzer>/findings)" >&2
  exit 1
fi
