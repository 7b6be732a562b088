#!/usr/bin/env bash
# Draws docs/dependencies.png: the project's libraries and programs and which
# links which, as CMake sees them (no tests, benchmarks or system libraries).
# Needs graphviz (scripts/install-deps.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
cat >"$out/CMakeGraphVizOptions.cmake" <<'OPTIONS'
set(GRAPHVIZ_EXTERNAL_LIBS FALSE)
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS "^test_" "^bench_" "^fuzz_" "talvex_test_common" "talvex_serial_windows")
OPTIONS
# The options are read from the build folder.
mkdir -p "$out/build"
mv "$out/CMakeGraphVizOptions.cmake" "$out/build/"
cmake -S . -B "$out/build" -DTALVEX_BUILD_TESTS=OFF -DTALVEX_BUILD_BENCH=OFF --graphviz="$out/deps.dot" >/dev/null
# Without CMake's legend of target kinds (libraries are hexagons here,
# programs ellipses), dependencies pointing up.
python3 - "$out/deps.dot" "$out/graph.dot" <<'PY'
import re, sys
dot = open(sys.argv[1]).read()
dot = re.sub(r'subgraph clusterLegend \{.*?\n\}\n', '', dot, flags=re.S)
dot = re.sub(r'digraph "[^"]*" \{', 'digraph talvex {\n  rankdir="BT"; node [fontname="Helvetica", fontsize=11];', dot, count=1)
open(sys.argv[2], 'w').write(dot)
PY
mkdir -p docs
dot -Tpng -Gdpi=110 "$out/graph.dot" -o docs/dependencies.png
echo "docs/dependencies.png"
