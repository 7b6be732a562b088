#!/usr/bin/env bash
# The Windows serial device, cross-built here and tested under Wine against
# a pseudo-terminal:
#   1. installs the cross compilers and Wine (scripts/install-deps.sh --windows);
#   2. builds the device layer and its test program for 64-bit Windows in
#      build-win (cmake/mingw-w64-x86_64.cmake, no Qt);
#   3. makes a fresh Wine prefix, headless (no display is used);
#   4. runs tests/serial/windows/wine_peer.py, which links the prefix's
#      dosdevices/com5 to the slave of a new pseudo-terminal pair, starts the
#      program under wine and plays the logger on the master.
# The program names every place where Wine behaves unlike Windows
# ("DEVIATION ..."); the run ends with the list of those met.
#
# With --tidy it first runs clang-tidy (the project's .clang-tidy) over the
# Windows files of the serial code and this test, which scripts/tidy.sh
# never sees: the native build does not compile them.
#
# Usage: scripts/wine-serial-test.sh [--tidy] [build folder, default build-win]
# On this 2-core machine: about a minute once the packages are in (--tidy:
# a minute more).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
tidy=0
if [[ "${1:-}" == "--tidy" ]]; then
  tidy=1
  shift
fi
build="${1:-build-win}"

./scripts/install-deps.sh
./scripts/install-deps.sh --windows

cmake -S tests/serial/windows -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

if ((tidy)); then
  # clang reads the cross compiler's commands; the C++ library headers it
  # cannot find by itself are the cross compiler's own.
  gcc_dir="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
  tidy_bin="$(command -v clang-tidy-14 || command -v clang-tidy)"
  args=(--extra-arg=--target=x86_64-w64-mingw32)
  for d in include/c++ include/c++/x86_64-w64-mingw32 include/c++/backward; do
    args+=("--extra-arg=-isystem$gcc_dir/$d")
  done
  findings=0
  for f in serial/serial_port_win32*.cpp serial/port_list_win32.cpp tests/serial/windows/serial_device_test.cpp; do
    out="$("$tidy_bin" -p "$build" "${args[@]}" "$f" 2>&1 || true)"
    if grep -E "^$root/.*: (warning|error): " <<<"$out"; then findings=1; fi
  done
  ((findings == 0)) || { echo "tidy: findings in the Windows files" >&2; exit 1; }
  echo "tidy: the Windows files are clean"
fi

prefix="$(mktemp -d /tmp/talvex-wine.XXXXXX)"
export WINEPREFIX="$prefix/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
# The server of this prefix first, on its own output: started by the test
# program's wine it would hold the program's pipes open after it ends.
mkdir -p "$WINEPREFIX"
wineserver -p >"$prefix/wineserver.log" 2>&1
wineboot -i >"$prefix/wineboot.log" 2>&1 || { cat "$prefix/wineboot.log"; exit 1; }

/usr/bin/python3 tests/serial/windows/wine_peer.py "$WINEPREFIX" "$build/serial_device_test.exe" 300
