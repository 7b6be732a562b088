#!/usr/bin/env bash
# What an idle recorder costs: talvex-cli record on the simulator (one frame
# a second, a reading kept every 10 s) for SECONDS of wall time while the
# simulator's clock runs ACCEL times faster (an hour of its time by
# default), sampling the recorder's CPU time and resident memory. Prints one
# summary line and the samples; everything lives in a temporary folder.
#
#   scripts/record-soak.sh [SECONDS [ACCEL]]      # 300 s at 12x by default
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300} accel=${2:-12}
cli=build/bin/talvex-cli sim=build/bin/talvex-sim
[[ -x $cli && -x $sim ]] || { echo "record-soak: build talvex-cli and talvex-sim first" >&2; exit 2; }
work="$(mktemp -d /tmp/talvex-soak.XXXXXX)"
sim_pid="" rec_pid=""
stop() { [[ -n "$1" ]] && kill -TERM "$1" 2>/dev/null && wait "$1" 2>/dev/null || true; }
trap 'stop "$rec_pid"; stop "$sim_pid"; rm -rf "$work"' EXIT

"$sim" --link "$work/tty" --accel "$accel" --records 100 >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [[ -e $work/tty ]] && break; sleep 0.1; done
XDG_STATE_HOME="$work/estado" "$cli" record --port "$work/tty" --db "$work/archivo.sqlite" --interval 10 \
  2>"$work/record.log" &
rec_pid=$!
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$rec_pid/stat"; }
rss() { awk '/^VmRSS/ {print $2}' "/proc/$rec_pid/status"; }
# The start (the archive made, the memory downloaded) is not the idle cost.
sleep 10
cpu0=$(cpu) t0=$(date +%s.%N) rss0=$(rss) rssmax=$rss0
samples=""
for ((s = 10; s <= seconds; s += 10)); do
  sleep 10
  r=$(rss)
  ((r > rssmax)) && rssmax=$r
  samples+="$s s: cpu $(($(cpu) - cpu0)) ticks, rss $r kB"$'\n'
done
cpu1=$(cpu) t1=$(date +%s.%N) rss1=$(rss)
stop "$rec_pid"
rec_pid=""
kept=$(sqlite3 "$work/archivo.sqlite" "SELECT COUNT(*) FROM registros WHERE hora_pc IS NOT NULL" 2>/dev/null || echo "?")
awk -v c=$((cpu1 - cpu0)) -v hz="$ticks" -v t0="$t0" -v t1="$t1" -v r0="$rss0" -v r1="$rss1" -v rm="$rssmax" \
  -v k="$kept" -v a="$accel" 'BEGIN {
    wall = t1 - t0
    printf "record-soak: %.0f s (%.1f h of simulator time at %sx): CPU %.3f %% of a core (%.2f s), RSS %d kB -> %d kB (max %d kB), %s readings kept\n",
      wall, wall * a / 3600, a, 100 * c / hz / wall, c / hz, r0, r1, rm, k
  }'
printf '%s' "$samples"
