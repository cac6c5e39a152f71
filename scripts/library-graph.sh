#!/usr/bin/env bash
# Draws the graph of the libraries and programs (what links what) into docs/libraries.png, from
# CMake's own view of the build. Needs graphviz's dot. Run after a configure of build/.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cat >build/CMakeGraphVizOptions.cmake <<'OPTIONS'
set(GRAPHVIZ_EXTERNAL_LIBS OFF)
set(GRAPHVIZ_GENERATE_PER_TARGET OFF)
set(GRAPHVIZ_GENERATE_DEPENDERS OFF)
set(GRAPHVIZ_IGNORE_TARGETS "^test_;zuk_testing;_autogen;^bench_;zuk_growjet")
OPTIONS
(cd build && cmake --graphviz="$out/zuk.dot" . >/dev/null)
# Without the legend, bottom layers at the bottom.
sed '/subgraph clusterLegend/,/^}/d' "$out/zuk.dot" | sed 's/^digraph "\([^"]*\)" {/digraph "\1" {\n rankdir = BT;/' |
  dot -Tpng -Gdpi=80 -o docs/libraries.png
echo "docs/libraries.png"
