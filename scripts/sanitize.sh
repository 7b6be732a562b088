#!/usr/bin/env bash
# Builds and runs the tests under the sanitizers.
#   address: AddressSanitizer + UndefinedBehaviorSanitizer over the whole suite
#            (build-asan); the first report stops the run.
#   thread:  ThreadSanitizer over the programs that run threads of their own:
#            the serial port, the runtime's cross-thread calls, the
#            archive's writer and the simulator (build-tsan).
#   fuzz:    a short pass of every fuzzer (build-fuzz, clang only).
#   all:     address, then thread, then fuzz.
# CC/CXX choose the compiler as usual (gcc and clang both work for address and
# thread). Extra arguments after the mode go to ctest (address only).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
mode="${1:-all}"
[ $# -gt 0 ] && shift
jobs="$(nproc)"

export QT_QPA_PLATFORM=offscreen
# Any report is a failure: stop at the first one, with its stack.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/sanitizers/tsan.supp"

configure() {  # dir, extra cmake arguments...
  local dir="$1"; shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_BUILD_BENCH=OFF "$@" >/dev/null
}

run_address() {
  local start=$SECONDS
  # Called as "run_address || ..." the shell's -e is off in here, so each
  # step says itself when it fails.
  # -O1 and line tables only: the sanitizers' usual level, and what keeps this
  # build near the normal one's time (-O2 -g with ASan and UBSan took three
  # times as long to compile). The test programs themselves go down to -O0,
  # see tests/CMakeLists.txt.
  configure "$root/build-asan" -DTALVEX_SANITIZE=address \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" || return 1
  cmake --build "$root/build-asan" -j"$jobs" || return 1
  local built=$SECONDS
  local rc=0
  (cd "$root/build-asan" && ctest --output-on-failure -j"$jobs" "$@") || rc=$?
  echo "address: built in $((built - start)) s, tests ran in $((SECONDS - built)) s" >&2
  return $rc
}

run_thread() {
  local start=$SECONDS
  local programs=(test_runtime test_serial test_sim test_archive test_report)
  configure "$root/build-tsan" -DTALVEX_SANITIZE=thread || return 1
  # The simulator's program too: its tests run it beside them.
  cmake --build "$root/build-tsan" -j"$jobs" --target "${programs[@]}" talvex-sim || return 1
  local built=$SECONDS
  # Run as programs rather than through ctest: the other folders' tests are
  # not built here and ctest would count them as failures.
  local rc=0
  for p in "${programs[@]}"; do
    echo "== $p (thread)" >&2
    "$root/build-tsan/bin/$p" --gtest_brief=1 || rc=1
  done
  echo "thread: built in $((built - start)) s, tests ran in $((SECONDS - built)) s" >&2
  return $rc
}

run_fuzz() {
  local start=$SECONDS
  CC=clang CXX=clang++ configure "$root/build-fuzz" -DTALVEX_FUZZ=ON -DTALVEX_BUILD_TESTS=OFF || return 1
  cmake --build "$root/build-fuzz" -j"$jobs" --target talvex_fuzzers || return 1
  local built=$SECONDS
  local rc=0
  (cd "$root/build-fuzz" && ctest --output-on-failure -L fuzz) || rc=$?
  echo "fuzz: built in $((built - start)) s, smoke passes ran in $((SECONDS - built)) s" >&2
  return $rc
}

case "$mode" in
  address) run_address "$@" ;;
  thread) run_thread ;;
  fuzz) run_fuzz ;;
  all)
    # Every run goes ahead even when one before it failed; the result is
    # the failure of any.
    rc=0
    run_address "$@" || rc=1
    run_thread || rc=1
    run_fuzz || rc=1
    exit $rc ;;
  *) echo "usage: $0 [address|thread|fuzz|all] [ctest arguments]" >&2; exit 2 ;;
esac
