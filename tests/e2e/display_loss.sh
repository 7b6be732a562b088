#!/usr/bin/env bash
# The display goes away under a busy program: connected to the simulated
# logger, the downloaded data shown (the data window is opened from inside
# the receive handler, so the port's event thread waits on it), the graph
# window above it and its "Zoom" message box above that. The X server is then
# killed: the program must end within a few seconds, and its port must be
# free again for an exclusive opener.
#
#   tests/e2e/display_loss.sh [BUILD_DIR]      (default: build)
#
# Needs Xvfb, xdotool and python3; must run as root (the logger's link is made
# under /dev, where the setup dialog lists its ports). Exits 0 on success;
# on failure says which step failed and leaves logs in $E2E_OUT
# (default /tmp/talvex-display-loss).
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="$(cd "$ROOT" && cd "${1:-build}" && pwd)"
OUT="${E2E_OUT:-/tmp/talvex-display-loss}"
LINK="/dev/ttyVTALVEXDL$$"
for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null || { echo "display-loss: $tool is missing" >&2; exit 1; }
done
[[ "$(id -u)" == 0 ]] || { echo "display-loss: needs root to make the logger's link under /dev" >&2; exit 1; }
rm -rf "$OUT"
mkdir -p "$OUT"

XVFB_PID="" SIM_PID="" APP_PID=""
cleanup() {
  for pid in "$APP_PID" "$SIM_PID" "$XVFB_PID"; do
    [[ -n "$pid" ]] && kill "$pid" 2>/dev/null && { wait "$pid" 2>/dev/null || true; }
  done
  rm -f "$LINK"
  return 0
}
trap cleanup EXIT
fail() {
  echo "display-loss: FAILED: $*" >&2
  echo "display-loss: logs in $OUT" >&2
  exit 1
}

# A server of our own, on whatever display number is free.
exec 3>"$OUT/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
XVFB_PID=$!
exec 3>&-
for ((i = 0; i < 50; i++)); do [[ -s "$OUT/display" ]] && break; sleep 0.1; done
[[ -s "$OUT/display" ]] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$OUT/display")" QT_QPA_PLATFORM=xcb

source "$ROOT/tests/e2e/x_helpers.sh"

"$BUILD/bin/talvex-sim" --interval 200 --rate 1 --accel 600 --link "$LINK" >"$OUT/sim.out" 2>"$OUT/sim.log" &
SIM_PID=$!
for ((i = 0; i < 50; i++)); do [[ -e "$LINK" ]] && break; sleep 0.1; done
[[ -e "$LINK" ]] || fail "the simulator made no link"

"$BUILD/bin/talvex" >"$OUT/talvex.log" 2>&1 &
APP_PID=$!
MAIN="$(window 'TALVEX  V 2.0 -- 16 CANALES DE TEMPERATURA ' 20)" || fail "no main window"
SETUP="$(window Setup)" || fail "no setup dialog"
keys "$SETUP" type --delay 40 "$LINK"
sleep 0.3
keys "$SETUP" key Return
click "$MAIN" $((381 + 45)) $((241 + 20))  # connect
if SETUP="$(window Setup 1)"; then
  keys "$SETUP" key Return
  click "$MAIN" $((381 + 45)) $((241 + 20))
fi
sleep 1
click "$MAIN" $((333 + 83)) $((5 + 16))  # DESCARGAR DATOS
DATA="$(data_window_after_download 30)" || fail "the data window did not open"
sleep 0.5
click "$DATA" $((429 + 24)) $((39 + 26))  # GRAFICAR
GRAPH="$(window 'GRAFICO DE LOS VALORES DESCARGADOS')" || fail "the graph window did not open"
sleep 0.5
click "$GRAPH" $((3 + 484 + 30)) $((44 + 8 + 11))  # Zoom
window 'TALVEX CANALES' >/dev/null || fail "the Zoom message box did not open"
import -window root "$OUT/before.png" 2>/dev/null || true

kill "$XVFB_PID"
wait "$XVFB_PID" 2>/dev/null || true
XVFB_PID=""
for ((i = 0; i < 50; i++)); do kill -0 "$APP_PID" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$APP_PID" 2>/dev/null; then
  fail "the program is still running 5 s after its display went away"
fi
wait "$APP_PID" 2>/dev/null || true
APP_PID=""

python3 - "$LINK" <<'EOF' || fail "the port was not let go"
import fcntl, os, struct, sys, termios
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
TIOCGEXCL = 0x80045440
assert struct.unpack('i', fcntl.ioctl(fd, TIOCGEXCL, b'\0' * 4))[0] == 0, 'still in exclusive use'
EOF
echo "display-loss: passed"
