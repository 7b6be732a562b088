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
# Usage: scripts/wine-serial-test.sh [build folder, default build-win]
# On this 2-core machine: about a minute once the packages are in.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${1:-build-win}"

./scripts/install-deps.sh
./scripts/install-deps.sh --windows

cmake -S tests/serial/windows -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)"

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
