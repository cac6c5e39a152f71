#!/usr/bin/env bash
# Runs a libFuzzer harness for SECONDS over its committed corpus (read, never written: what it
# finds goes to a temporary folder) and prints its figures. A finding fails the run; the input is
# printed in hex and kept under fuzz-findings/ beside the harness, to be added to the corpus once
# the fault is fixed.
#   run_fuzzer.sh HARNESS CORPUS SECONDS
set -euo pipefail
harness=$1 corpus=$2 seconds=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/zuk-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/new" "$corpus"
findings=$(dirname "$harness")/fuzz-findings
mkdir -p "$findings"
status=0
ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen "$harness" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$findings/$(basename "$harness")-" -timeout=10 -rss_limit_mb=2048 \
  "$work/new" "$corpus" >"$work/log" 2>&1 || status=$?
grep -E "^(stat::number_of_executed_units|stat::new_units_added|FINDING|==[0-9]+==ERROR|SUMMARY)" "$work/log" || true
echo "$(basename "$harness"): corpus $(ls "$corpus" | wc -l) inputs, ${seconds}s"
if ((status != 0)); then
  tail -40 "$work/log"
  for f in "$findings/$(basename "$harness")"-*; do [[ -f $f ]] && { echo "input $f:"; xxd "$f" | head -20; }; done
  exit 1
fi
