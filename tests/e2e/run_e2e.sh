#!/usr/bin/env bash
# A user's whole session, with the real windows under a private X server and
# the simulated logger on a linked pseudo-terminal: connect, set the logger's
# clock, download, save the file, open the graph and its print preview, close
# them with Escape (also one sent to a window beneath, and one left held
# down), open the data window again, open the saved file in it, graph it and
# export it as a workbook (checked with openpyxl). talvex-cli then reads the
# logger's status, and the saved file is checked byte for byte against a
# second download of the same logger memory by talvex-cli, and its values
# against the dump the logger sent. Both downloads are in the history
# archive once; HISTORIAL draws them and exports them as the logger sent
# them; GRABAR keeps live readings, and a limit set by talvex-cli alarms set
# shows on the main window's channel in alarm. Last,
# display_loss.sh takes the display away from a busy program.
#
#   tests/e2e/run_e2e.sh [BUILD_DIR]      (default: build)
#
# Needs xvfb-run, Xvfb, xdotool, python3 and Debian's python3-openpyxl; must run as root (the logger's
# link is made under /dev, where the port setup dialog lists its ports).
# Exits 0 on success; on failure says which step failed and leaves
# screenshots and logs in $E2E_OUT (default /tmp/talvex-e2e).
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="$(cd "$ROOT" && cd "${1:-build}" && pwd)"
OUT="${E2E_OUT:-/tmp/talvex-e2e}"

# Always on a server of our own, of a known size, whatever DISPLAY says.
if [[ -z "${TALVEX_E2E_INSIDE:-}" ]]; then
  for tool in xvfb-run xdotool python3; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is missing" >&2; exit 1; }
  done
  export TALVEX_E2E_INSIDE=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$BUILD"
fi

if [[ "$(id -u)" != 0 ]]; then
  echo "e2e: needs root to make the logger's link under /dev" >&2
  exit 1
fi

LINK="/dev/ttyVTALVEX$$"
rm -rf "$OUT"
mkdir -p "$OUT"
SAVED="$OUT/datos.txt"
# The program keeps the dialogs' last folder in the user's configuration,
# and every download in the history archive: folders of the run's own,
# never the user's.
export XDG_CONFIG_HOME="$OUT/config"
export XDG_DATA_HOME="$OUT/data" XDG_STATE_HOME="$OUT/state"
unset TALVEX_DB
export QT_QPA_PLATFORM=xcb

SIM_PID=""
APP_PID=""
cleanup() {
  # A killed process's status must not end the clean-up early (errexit).
  [[ -n "$APP_PID" ]] && kill "$APP_PID" 2>/dev/null && { wait "$APP_PID" 2>/dev/null || true; }
  [[ -n "$SIM_PID" ]] && kill "$SIM_PID" 2>/dev/null && { wait "$SIM_PID" 2>/dev/null || true; }
  rm -f "$LINK"
  return 0
}
trap cleanup EXIT

step=0
fail() {
  import -window root "$OUT/failure.png" 2>/dev/null || true
  echo "e2e: FAILED at step $step: $*" >&2
  echo "e2e: screenshots and logs in $OUT" >&2
  exit 1
}
say() {
  step=$((step + 1))
  echo "e2e: $step. $*"
}
shot() { import -window root "$OUT/$1.png" 2>/dev/null || true; }

source "$ROOT/tests/e2e/x_helpers.sh"
# Replaces whatever the name box of file dialog $1 holds with $2, then Return.
enter_name() {
  keys "$1" key ctrl+a
  keys "$1" type --delay 20 "$2"
  keys "$1" key Return
}
# Waits for a line matching $1 in the simulator's log.
sim_said() {
  for ((i = 0; i < ${2:-10} * 10; i++)); do
    grep -q -- "$1" "$OUT/sim.log" && return 0
    sleep 0.1
  done
  return 1
}

say "the logger: one record a minute, 600 times faster than life, linked at $LINK"
"$BUILD/bin/talvex-sim" --interval 200 --rate 1 --accel 600 --link "$LINK" --verbose \
  >"$OUT/sim.out" 2>"$OUT/sim.log" &
SIM_PID=$!
for ((i = 0; i < 50; i++)); do [[ -e "$LINK" ]] && break; sleep 0.1; done
[[ -e "$LINK" ]] || fail "the simulator made no link"

say "the program starts; the port setup dialog comes first"
"$BUILD/bin/talvex" >"$OUT/talvex.log" 2>&1 &
APP_PID=$!
MAIN="$(window 'TALVEX  V 2.0 -- 16 CANALES DE TEMPERATURA ' 20)" || fail "no main window"
SETUP="$(window Setup 10)" || fail "no setup dialog"
shot 01-setup

say "pick the logger's port in the first list and press OK"
keys "$SETUP" type --delay 40 "$LINK"
sleep 0.3
keys "$SETUP" key Return
gone Setup 5 || fail "the setup dialog did not close"

say "connect: the upper half of the switch"
eval "$(xdotool getwindowgeometry --shell "$MAIN")"
[[ "$WIDTH" == 560 && "$HEIGHT" == 461 ]] || fail "main window is ${WIDTH}x$HEIGHT, not 560x461"
click "$MAIN" $((381 + 45)) $((241 + 20))
# A bare X server activates the window on that click, which may show the
# setup dialog once more; it is the same port, so OK again.
if SETUP="$(window Setup 1)"; then
  keys "$SETUP" key Return
  gone Setup 5 || fail "the setup dialog did not close"
  click "$MAIN" $((381 + 45)) $((241 + 20))
fi
sleep 1
shot 02-connected

say "set the logger's clock: FECHA Y HORA ACTUAL, then PONER EN HORA"
click "$MAIN" $((337 + 83)) $((78 + 16))
CLOCK="$(window 'PUESTA EN HORA DEL LOGGER' 5)" || fail "no clock-set window"
shot 03-clock
click "$CLOCK" $((45 + 67)) $((69 + 12))
gone 'PUESTA EN HORA DEL LOGGER' 5 || fail "the clock-set window stayed"
sim_said "reloj puesto" 5 || fail "the logger's clock was not set"
# Let the emptied memory fill again: ten records a second.
sleep 3

say "download: DESCARGAR DATOS"
click "$MAIN" $((333 + 83)) $((5 + 16))
DATA="$(data_window_after_download 30)" || fail "the data window did not open"
sim_said "fin de descarga confirmado" 10 || fail "the download was not acknowledged"
sleep 0.5
shot 04-data

say "save: GUARDAR, type the path, Return"
click "$DATA" $((507 + 24)) $((39 + 26))
DIALOG="$(window 'Guardar como' 10)" || fail "no save dialog"
sleep 0.5
shot 05-save-dialog
# The name box has the focus; whatever it holds is replaced.
enter_name "$DIALOG" "$SAVED"
for ((i = 0; i < 50; i++)); do [[ -s "$SAVED" ]] && break; sleep 0.1; done
[[ -s "$SAVED" ]] || fail "nothing saved at $SAVED"

say "graph: GRAFICAR"
click "$DATA" $((429 + 24)) $((39 + 26))
GRAPH="$(window 'GRAFICO DE LOS VALORES DESCARGADOS' 10)" || fail "the graph window did not open"
sleep 1
shot 06-graph

say "print preview: Imprimir; an Escape sent to a window beneath it is ignored"
click "$GRAPH" $((3 + 632 + 30)) $((44 + 8 + 11))
PREVIEW="$(window 'Chart Print Preview' 10)" || fail "the print preview did not open"
sleep 0.5
xdotool key --window "$GRAPH" Escape
xdotool key --window "$DATA" Escape
sleep 0.5
window 'Chart Print Preview' 1 >/dev/null || fail "an Escape sent to a window beneath closed the preview"

say "an Escape sent to the preview closes the preview alone, even left held down"
# xdotool presses the key into the focused preview, then sends the release
# to the preview's window, gone by then: the key stays down and the X server
# repeats it into each window that gets the keyboard.
xdotool key --window "$PREVIEW" Escape 2>/dev/null || true
gone 'Chart Print Preview' 5 || fail "the preview did not close"
sleep 1.5
window 'GRAFICO DE LOS VALORES DESCARGADOS' 1 >/dev/null || fail "the held Escape closed the graph window too"
window 'DATOS DESCARGADOS' 1 >/dev/null || fail "the held Escape closed the data window too"
shot 07-escape-held
xdotool keyup Escape

say "Escape closes the graph window, then the data window; VER DATOS opens it again"
keys "$GRAPH" key Escape
gone 'GRAFICO DE LOS VALORES DESCARGADOS' 5 || fail "the graph window did not close"
sleep 0.5
window 'DATOS DESCARGADOS' 1 >/dev/null || fail "closing the graph window closed the data window too"
keys "$DATA" key Escape
gone 'DATOS DESCARGADOS' 5 || fail "the data window did not close"
click "$MAIN" $((333 + 83)) $((5 + 16))
DATA="$(window 'DATOS DESCARGADOS' 5)" || fail "VER DATOS did not open the data window again"
sleep 0.5
window 'DATOS DESCARGADOS' 1 >/dev/null || fail "the data window closed by itself"
shot 08-data-again
keys "$DATA" key Escape
gone 'DATOS DESCARGADOS' 5 || fail "the data window did not close"

say "open the saved file: VER DATOS, ABRIR, its path"
click "$MAIN" $((333 + 83)) $((5 + 16))
DATA="$(window 'DATOS DESCARGADOS' 5)" || fail "VER DATOS did not open the data window"
sleep 0.5
click "$DATA" $((566 + 24)) $((39 + 26))
OPEN="$(window 'Abrir datos guardados' 10)" || fail "ABRIR showed no open dialog"
sleep 0.5
enter_name "$OPEN" "$SAVED"
DATA="$(window 'DATOS DESCARGADOS - datos.txt' 10)" || fail "the saved file did not open"
sleep 0.5
shot 09-file-opened

say "graph the opened file, then export it as a workbook"
click "$DATA" $((429 + 24)) $((39 + 26))
GRAPH="$(window 'GRAFICO DE LOS VALORES DESCARGADOS' 10)" || fail "no graph of the opened file"
sleep 1
shot 10-graph-of-file
keys "$GRAPH" key Escape
gone 'GRAFICO DE LOS VALORES DESCARGADOS' 5 || fail "the graph window did not close"
sleep 0.5
click "$DATA" $((626 + 24)) $((39 + 26))
EXPORT="$(window 'Exportar a una hoja de cálculo' 10)" || fail "EXPORTAR showed no dialog"
sleep 0.5
enter_name "$EXPORT" "$OUT/datos.xlsx"
for ((i = 0; i < 50; i++)); do [[ -s "$OUT/datos.xlsx" ]] && break; sleep 0.1; done
[[ -s "$OUT/datos.xlsx" ]] || fail "nothing exported at $OUT/datos.xlsx"
keys "$DATA" key Escape
gone 'DATOS DESCARGADOS - datos.txt' 5 || fail "the data window did not close"

say "close the program; talvex-cli status reads one frame's health"
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=""
"$BUILD/bin/talvex-cli" status --port "$LINK" --json --timeout 10 >"$OUT/status.json" 2>"$OUT/status.log" ||
  fail "talvex-cli status failed: $(cat "$OUT/status.log")"
python3 -c 'import json, sys; s = json.load(open(sys.argv[1]))
assert s["capacidad"] == 2000 and len(s["canales"]) == 16 and isinstance(s["deriva_s"], int) and not isinstance(s["deriva_s"], bool), s' \
  "$OUT/status.json" || fail "odd status: $(cat "$OUT/status.json")"

say "fetch the same memory with talvex-cli"
"$BUILD/bin/talvex-cli" download --port "$LINK" -o "$OUT/cli.txt" --raw "$OUT/cli.volcado" --timeout 20 \
  >"$OUT/cli.log" 2>&1 || fail "talvex-cli download failed: $(cat "$OUT/cli.log")"

say "the saved file against the logger's records"
python3 - "$SAVED" "$OUT/cli.txt" "$OUT/cli.volcado" <<'EOF' || fail "the saved file is wrong"
import sys, datetime
saved = open(sys.argv[1], 'rb').read()
later = open(sys.argv[2], 'rb').read()
dump = open(sys.argv[3], 'rb').read().decode('ascii')
lines = saved.split(b'\r\n')
assert lines[-1] == b'', 'the file does not end in CR LF'
records = len(lines) - 3
assert records >= 5, f'only {records} records: the logger memory did not fill'
# The memory only grows while the logger runs on, so the program's file is
# the start of the later one, byte for byte.
later_lines = later.split(b'\r\n')
prefix = b'\r\n'.join(later_lines[:records + 2]) + b'\r\n'
if saved != prefix:
    for i, (a, b) in enumerate(zip(lines, later_lines)):
        if a != b:
            sys.exit(f'line {i + 1} differs:\n  saved: {a!r}\n  cli:   {b!r}')
    sys.exit('files differ in length')
# And every value is the logger's reading: 16 x (HHH LLL) per record line.
dump_lines = [l for l in dump.replace('\r\n', '\n').split('\n') if l]
header = dump_lines[0]
assert header.startswith('*'), f'odd dump header {header!r}'
for r in range(1, records + 1):
    fields = lines[r + 1].decode('ascii').split('  ')
    assert fields[-1] == '', f'record {r} does not end in two blanks'
    digits = dump_lines[r]
    for k in range(16):
        reading = int(digits[6 * k:6 * k + 3]) * 256 + int(digits[6 * k + 3:6 * k + 6])
        want = f'{(reading - 500) / 10:.1f}'.replace('.', ',')
        got = fields[2 + k]
        assert got == want, f'record {r} channel {k + 1}: {got} in the file, {want} from the logger'
# One minute between records, the clock set just before.
times = [datetime.datetime.strptime(l.decode()[:19], '%d/%m/%Y  %H:%M:%S') for l in lines[2:2 + records]]
for a, b in zip(times, times[1:]):
    assert b - a == datetime.timedelta(minutes=1), f'records {a} and {b} are not a minute apart'
print(f'e2e: {records} records saved, identical to the logger\'s')
EOF

say "the history: both downloads kept once in the archive, HISTORIAL draws and exports them"
ARCHIVE="$XDG_DATA_HOME/talvex/archivo.sqlite"
[[ -s "$ARCHIVE" ]] || fail "no history archive at $ARCHIVE"
"$BUILD/bin/talvex" >"$OUT/talvex-2.log" 2>&1 &
APP_PID=$!
MAIN="$(window 'TALVEX  V 2.0 -- 16 CANALES DE TEMPERATURA ' 20)" || fail "no main window the second time"
if SETUP="$(window Setup 5)"; then
  keys "$SETUP" key Escape
  gone Setup 5 || fail "the setup dialog did not close"
fi
click "$MAIN" $((156 + 66)) $((264 + 12))
HISTORY="$(window HISTORIAL 10)" || fail "HISTORIAL did not open"
sleep 1
click "$HISTORY" $((628 + 50)) $((38 + 12))
sleep 1.5
shot 11-history
click "$HISTORY" $((160 + 70)) $((416 + 13))
EXPORT="$(window 'Exportar el rango' 10)" || fail "EXPORTAR showed no dialog"
sleep 0.5
enter_name "$EXPORT" "$OUT/historial.csv"
for ((i = 0; i < 100; i++)); do [[ -s "$OUT/historial.csv" ]] && break; sleep 0.1; done
[[ -s "$OUT/historial.csv" ]] || fail "nothing exported at $OUT/historial.csv"
shot 12-history-exported
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=""
/usr/bin/python3 - "$OUT/cli.txt" "$OUT/cli.volcado" "$OUT/historial.csv" "$ARCHIVE" <<'EOF' || fail "the history is wrong"
import csv, datetime, sqlite3, sys
lines = open(sys.argv[1], 'rb').read().decode('ascii').split('\r\n')[2:-1]
dump = [l for l in open(sys.argv[2], 'rb').read().decode('ascii').replace('\r\n', '\n').split('\n') if l]
want = []
for r, line in enumerate(lines, start=1):
    fields = line.split('  ')
    when = datetime.datetime.strptime(fields[0] + ' ' + fields[1], '%d/%m/%Y %H:%M:%S')
    # The logger's own readings, straight from its dump.
    values = [(int(dump[r][6 * k:6 * k + 3]) * 256 + int(dump[r][6 * k + 3:6 * k + 6]) - 500) / 10 for k in range(16)]
    want.append((when, values))
# The window's download is the start of talvex-cli's: the archive holds
# the later one's records, each once.
db = sqlite3.connect(sys.argv[4])
rows = db.execute('SELECT instante, canal, valor, origen FROM v_registros ORDER BY instante, canal').fetchall()
assert len(rows) == 16 * len(want), f'{len(rows)} readings archived, {16 * len(want)} downloaded'
assert {r[3] for r in rows} == {'memoria'}, {r[3] for r in rows}
for i, (when, values) in enumerate(want):
    for k in range(16):
        instant, channel, value, _ = rows[16 * i + k]
        assert datetime.datetime.fromisoformat(str(instant).replace('T', ' ')) == when and channel == k + 1, rows[16 * i + k]
        assert abs(value - values[k]) < 1e-9, (when, channel, value, values[k])
text = open(sys.argv[3], encoding='utf-8-sig', newline='').read()
sep = ';' if text.split('\r\n', 1)[0].count(';') > text.split('\r\n', 1)[0].count(',') else ','
exported = list(csv.reader(text.split('\r\n')[1:-1], delimiter=sep))
assert len(exported) == len(want), f'{len(exported)} records exported, {len(want)} archived'
for row, (when, values) in zip(exported, want):
    assert datetime.datetime.fromisoformat(row[0].replace('T', ' ')) == when, (row[0], when)
    for cell, value in zip(row[1:17], values):
        assert abs(float(cell.replace(',', '.')) - value) < 1e-9, (row, values)
print(f'e2e: {len(want)} records archived once from two downloads, exported from HISTORIAL as the logger sent them')
EOF

say "the workbook read by openpyxl holds the saved file's records"
/usr/bin/python3 - "$SAVED" "$OUT/datos.xlsx" <<'EOF' || fail "the workbook is wrong"
import sys, datetime, openpyxl
lines = open(sys.argv[1], 'rb').read().decode('ascii').split('\r\n')[2:-1]
book = openpyxl.load_workbook(sys.argv[2])
data = book['Datos']
assert book.sheetnames == ['Datos', 'Estadísticas'] and data.freeze_panes == 'A2'
assert data.max_row == len(lines) + 1, (data.max_row, len(lines))
for row, line in zip(data.iter_rows(min_row=2), lines):
    fields = line.split('  ')
    assert row[0].value == datetime.datetime.strptime(fields[0] + ' ' + fields[1], '%d/%m/%Y %H:%M:%S'), row[0].value
    for cell, text in zip(row[1:], fields[2:18]):
        assert cell.data_type == 'n' and abs(cell.value - float(text.replace(',', '.'))) < 1e-9, (cell.value, text)
print(f'e2e: workbook of {len(lines)} records matches the saved file')
EOF

# Recording from the window: GRABAR at 1 s keeps the live readings in the
# run's own archive, where outside tools read them through v_registros.
say "record from the window: connect again, GRABAR every 1 s for a few seconds"
"$BUILD/bin/talvex" >"$OUT/talvex-rec.log" 2>&1 &
APP_PID=$!
MAIN="$(window 'TALVEX  V 2.0 -- 16 CANALES DE TEMPERATURA ' 20)" || fail "no main window"
SETUP="$(window Setup 10)" || fail "no setup dialog"
keys "$SETUP" type --delay 40 "$LINK"
keys "$SETUP" key Return
gone Setup 5 || fail "the setup dialog did not close"
click "$MAIN" $((381 + 45)) $((241 + 20))
if SETUP="$(window Setup 1)"; then
  keys "$SETUP" key Return
  gone Setup 5 || fail "the setup dialog did not close"
  click "$MAIN" $((381 + 45)) $((241 + 20))
fi
sleep 1
# The interval list: open it, one up from "10 s" is "1 s".
click "$MAIN" $((480 + 36)) $((304 + 11))
keys "$MAIN" key Up Return
sleep 0.3
click "$MAIN" $((480 + 36)) $((243 + 15))
sleep 5
shot 11-recording
say "stop recording, close the program: the readings are in v_registros"
click "$MAIN" $((480 + 36)) $((243 + 15))
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=""
/usr/bin/python3 - "$XDG_DATA_HOME/talvex/archivo.sqlite" <<'EOF_PY' || fail "the recorded readings are not in v_registros"
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
# Under the name the downloads of that port got.
names = lambda origin: db.execute("SELECT DISTINCT registrador FROM v_registros WHERE origen = ?", (origin,)).fetchall()
assert len(names('en_vivo')) == 1 and names('en_vivo') == names('memoria'), (names('en_vivo'), names('memoria'))
rows = db.execute("SELECT instante, COUNT(*), MIN(valor), MAX(valor) FROM v_registros "
                  "WHERE origen = 'en_vivo' GROUP BY instante").fetchall()
assert 3 <= len(rows) <= 12, f'{len(rows)} readings in about 5 s at 1 s'
assert all(n == 16 for _, n, _, _ in rows), rows
assert all(-50 <= lo <= hi <= 150 for _, _, lo, hi in rows), rows
print(f'e2e: {len(rows)} live readings of 16 channels in v_registros')
EOF_PY

# Alarms: a high limit set from the command line, under what channel 1
# reads, is what the window weighs its live frames against once connected.
say "alarms: talvex-cli alarms set puts CH1's high limit under its readings; the main window shows CH1 in alarm"
LOGGER="$(/usr/bin/python3 -c 'import sqlite3, sys
print(sqlite3.connect(sys.argv[1]).execute("SELECT DISTINCT registrador FROM v_registros").fetchone()[0])' \
  "$XDG_DATA_HOME/talvex/archivo.sqlite")" || fail "no logger in the archive"
"$BUILD/bin/talvex-cli" alarms set --logger "$LOGGER" --channel 1 --high -40 >"$OUT/alarms.log" 2>&1 ||
  fail "talvex-cli alarms set failed: $(cat "$OUT/alarms.log")"
"$BUILD/bin/talvex" >"$OUT/talvex-alarm.log" 2>&1 &
APP_PID=$!
MAIN="$(window 'TALVEX  V 2.0 -- 16 CANALES DE TEMPERATURA ' 20)" || fail "no main window"
SETUP="$(window Setup 10)" || fail "no setup dialog"
keys "$SETUP" type --delay 40 "$LINK"
keys "$SETUP" key Return
gone Setup 5 || fail "the setup dialog did not close"
click "$MAIN" $((381 + 45)) $((241 + 20))
if SETUP="$(window Setup 1)"; then
  keys "$SETUP" key Return
  gone Setup 5 || fail "the setup dialog did not close"
  click "$MAIN" $((381 + 45)) $((241 + 20))
fi
sleep 3
# CH1's value box, in both blink phases: lit red, or its value in red (drawn
# smooth: counted as pixels far more red than anything else, none of which
# the box shows without an alarm).
for phase in 1 2; do
  import -window "$MAIN" "$OUT/13-alarm-$phase.png"
  red="$(convert "$OUT/13-alarm-$phase.png" -crop 70x24+2+103 +repage txt:- |
    grep -ci '#[8-F][0-9A-F][0-3][0-9A-F][0-3][0-9A-F] ' || true)"
  [[ "$red" -gt 8 ]] || fail "CH1 shows no alarm (phase $phase: $red red pixels)"
  sleep 0.6
done
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=""

say "the display goes away under a modal message box: the program ends and lets the port go"
E2E_OUT="$OUT/display-loss" "$ROOT/tests/e2e/display_loss.sh" "$BUILD" || fail "see $OUT/display-loss"

echo "e2e: passed"
