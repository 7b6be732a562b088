# Helpers both end-to-end scripts drive the real windows with (sourced).

# Waits up to $2 seconds (default 10) for a window named exactly $1 and
# prints its id.
window() {
  local name="$1" limit="${2:-10}" id=""
  for ((i = 0; i < limit * 10; i++)); do
    id="$(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null | head -n1 || true)"
    [[ -n "$id" ]] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Waits for the window named $1 to go away.
gone() {
  for ((i = 0; i < ${2:-10} * 10; i++)); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}
# Clicks at client point x,y of window $1.
click() {
  xdotool mousemove --window "$1" "$2" "$3" sleep 0.1 click 1
  sleep 0.3
}
# Real key presses (not events sent to a window, which Qt may ignore) into
# window $1, given the focus first: keys WINDOW type|key ARGS...
keys() {
  local w="$1"
  shift
  xdotool windowfocus --sync "$w" 2>/dev/null || xdotool windowfocus "$w" 2>/dev/null || true
  xdotool "$@"
}
# Waits up to $1 seconds (default 30) for the data window a download opens
# and prints its id. The simulated loggers here store records many times a
# second, some while the download is being asked for, so the records
# outnumber the count of the last live frame: the warning that says so comes
# first and is answered.
data_window_after_download() {
  local warning
  for ((i = 0; i < ${1:-30} * 10; i++)); do
    xdotool search --onlyvisible --name '^DATOS DESCARGADOS$' >/dev/null 2>&1 && break
    warning="$(xdotool search --onlyvisible --name '^TALVEX CANALES$' 2>/dev/null | head -n1 || true)"
    [[ -n "$warning" ]] && keys "$warning" key Return
    sleep 0.1
  done
  window 'DATOS DESCARGADOS' 1
}
