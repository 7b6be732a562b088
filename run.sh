#!/usr/bin/env bash
# Sets up what is missing, builds, and starts the program. With no display
# (a bare server, CI), it runs under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target talvex talvex-sim
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/talvex "$@"
else
  echo "No display found: starting under xvfb-run (screen 1280x1024)." >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/talvex "$@"
fi
