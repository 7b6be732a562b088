#!/usr/bin/env bash
# Builds the Debian package from a Release build of its own (build-release):
#
#   scripts/package.sh            -> build-release/talvex_<version>_amd64.deb
#
# The compiler and linker flags are Debian's own (dpkg-buildflags, with every
# hardening feature), the dependencies come from the binaries
# (dpkg-shlibdeps). The path of the package is the last line printed.
# Reproducible: the same sources give the same bytes (files and archives
# dated at the release, members in order, no build path in the binaries).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
out="$root/build-release"

./scripts/install-deps.sh --package

# Release keeps its own optimisation and drops the debug information: the
# binaries are stripped in the package anyway.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
export DEB_CFLAGS_MAINT_STRIP="-g -O2" DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CFLAGS CXXFLAGS LDFLAGS

cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Release -DTALVEX_PACKAGE=ON \
  -DTALVEX_BUILD_TESTS=OFF -DTALVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$out" -j"$(nproc)" --target talvex talvex-cli talvex-sim talvex_package_files
# A package left from an earlier version would be mistaken for this one.
rm -f "$out"/talvex_*.deb
(cd "$out" && cpack -G DEB >&2)

shopt -s nullglob
debs=("$out"/talvex_*.deb)
if ((${#debs[@]} != 1)); then
  echo "package: expected one talvex_*.deb in $out, found ${#debs[@]}" >&2
  exit 1
fi
echo "${debs[0]}"
