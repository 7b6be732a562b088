#!/usr/bin/env bash
# One fuzzer for a while: run_fuzzer.sh <fuzzer> <seed dir> <work dir> <seconds>
# The work dir gets the corpus the run grows (starting from the seeds) and,
# when something is found, the input that shows it (crash-*, leak-*,
# timeout-*, oom-*). Exits non-zero on any finding.
set -euo pipefail
fuzzer="$1" seeds="$2" work="$3" seconds="$4"
mkdir -p "$work/corpus" "$work/findings"
# One input may take at most 10 s and the process at most 2 GB: a hang or an
# unbounded growth is a finding, not a stuck test.
export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
dict=()
[ -f "$(dirname "$0")/$(basename "$seeds").dict" ] && dict=(-dict="$(dirname "$0")/$(basename "$seeds").dict")
exec "$fuzzer" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
  -max_len=8192 -print_final_stats=1 -artifact_prefix="$work/findings/" \
  "$work/corpus" "$seeds"
