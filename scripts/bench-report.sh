#!/usr/bin/env bash
# Runs every benchmark program (BUILD/bin/bench_*) and prints one table of
# their figures: time per iteration and every counter they report.
#
#   scripts/bench-report.sh [--quick] [BUILD_DIR]     (default: build)
#
# The live-frame memory run lasts ten minutes (TALVEX_SOAK_SECONDS=600);
# --quick makes it twenty seconds. The raw JSON of each program is kept in
# $BENCH_OUT (default /tmp/talvex-bench).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
if [[ "${1:-}" == "--quick" ]]; then
  quick=1
  shift
fi
BUILD="${1:-build}"
OUT="${BENCH_OUT:-/tmp/talvex-bench}"
if [[ -z "${TALVEX_SOAK_SECONDS:-}" ]]; then
  if ((quick)); then TALVEX_SOAK_SECONDS=20; else TALVEX_SOAK_SECONDS=600; fi
fi
export TALVEX_SOAK_SECONDS
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

shopt -s nullglob
programs=("$BUILD"/bin/bench_*)
if ((${#programs[@]} == 0)); then
  echo "bench-report: no benchmark programs in $BUILD/bin (build first)" >&2
  exit 1
fi
rm -rf "$OUT"
mkdir -p "$OUT"

failed=0
for program in "${programs[@]}"; do
  name="$(basename "$program")"
  echo "bench-report: running $name ..." >&2
  if ! "$program" --benchmark_out="$OUT/$name.json" --benchmark_out_format=json \
    >"$OUT/$name.txt" 2>"$OUT/$name.err"; then
    echo "bench-report: $name failed, see $OUT/$name.err" >&2
    failed=1
  fi
done

python3 - "$OUT" <<'EOF'
import json, os, sys
out = sys.argv[1]
rows = []
skip = {'name', 'run_name', 'run_type', 'repetitions', 'repetition_index', 'threads', 'iterations',
        'real_time', 'cpu_time', 'time_unit', 'family_index', 'per_family_instance_index',
        'aggregate_name', 'aggregate_unit', 'label', 'error_occurred', 'error_message'}

def figure(v):
    if abs(v) >= 1e9: return f'{v / 1e9:.2f} G'
    if abs(v) >= 1e6: return f'{v / 1e6:.2f} M'
    if abs(v) >= 1e4: return f'{v / 1e3:.1f} k'
    if abs(v) >= 100: return f'{v:.0f}'
    return f'{v:.3g}'

for f in sorted(os.listdir(out)):
    if not f.endswith('.json'):
        continue
    try:
        data = json.load(open(os.path.join(out, f)))
    except ValueError:
        rows.append((f[:-5], '(no output)', '', ''))
        continue
    for b in data.get('benchmarks', []):
        if b.get('error_occurred'):
            rows.append((f[:-5], b['name'], 'FAILED', b.get('error_message', '')))
            continue
        time = f"{b['real_time']:.4g} {b['time_unit']}"
        extra = ', '.join(f'{k}={figure(v)}' for k, v in b.items()
                          if k not in skip and isinstance(v, (int, float)))
        rows.append((f[:-5], b['name'], time, extra))

widths = [max(len(r[i]) for r in rows + [('program', 'benchmark', 'time', '')]) for i in range(3)]
print(f"{'program':<{widths[0]}}  {'benchmark':<{widths[1]}}  {'time':>{widths[2]}}  figures")
print(f"{'-' * widths[0]}  {'-' * widths[1]}  {'-' * widths[2]}  -------")
for r in rows:
    print(f'{r[0]:<{widths[0]}}  {r[1]:<{widths[1]}}  {r[2]:>{widths[2]}}  {r[3]}')
EOF
exit "$failed"
