#!/usr/bin/env bash
# Every program answers --version with its name and the project's version,
# the window program too with no display at all (it must not need one).
#   version_test.sh VERSION TALVEX TALVEX_CLI TALVEX_SIM
set -uo pipefail
version=$1
shift
failed=0
for program in "$@"; do
  name="$(basename "$program")"
  out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$program" --version 2>&1)"
  rc=$?
  if [[ $rc != 0 || "$out" != "$name $version" ]]; then
    echo "FAIL: $name --version: status $rc, printed \"$out\" (expected \"$name $version\")"
    failed=1
  fi
done
# The window program's help, likewise without a display.
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$1" --help 2>&1)"
rc=$?
if [[ $rc != 0 || "$out" != *talvex-cli* ]]; then
  echo "FAIL: talvex --help: status $rc, printed \"$out\""
  failed=1
fi
# --version takes nothing after it.
"$2" --version ports >/dev/null 2>&1
rc=$?
if [[ $rc != 2 ]]; then
  echo "FAIL: talvex-cli --version ports ended with $rc, not 2 (bad command line)"
  failed=1
fi
exit $failed
