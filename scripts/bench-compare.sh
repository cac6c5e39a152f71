#!/usr/bin/env bash
# The cost update run of two builds on the same sample files, one run of each in turn (which goes
# first changes every round), so that the machine's noise falls on both alike:
#
#   scripts/bench-compare.sh BASE_BUILD NEW_BUILD [--rounds N] SIZE...      (SIZE: S, M, L, A:E)
#
# Each build is a build folder with bench/bench_update in it (for the base, e.g.
# `git worktree add /tmp/base REV && cmake -S /tmp/base -B /tmp/base/build
# -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF && cmake --build /tmp/base/build --target
# bench_update`). The new build makes the sample files; the base reads the same ones. Prints
# every run, then each build's median wall time and peak RSS, and their ratio.
set -euo pipefail
(($# >= 3)) || { sed -n 2,11p "$0"; exit 2; }
base=$1 new=$2
shift 2
rounds=3
if [[ $1 == --rounds ]]; then rounds=$2; shift 2; fi
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

for size in "$@"; do
  declare -A times=() rss=()
  for ((round = 1; round <= rounds; round++)); do
    order=(new base)
    ((round % 2 == 0)) && order=(base new)
    ((round == 1)) && order=(new base) # the new build makes the sample first
    for which in "${order[@]}"; do
      folder=$new
      [[ $which == base ]] && folder=$base
      line=$("$folder/bench/bench_update" --run-only --repeat 1 "$size" | grep -E '^\S+ +[0-9]+ articles')
      t=$(sed -E 's/.*median of 1: run +([0-9.]+) s.*/\1/' <<<"$line")
      m=$(sed -E 's/.*peak RSS ([0-9]+) MB.*/\1/' <<<"$line")
      times[$which]+="$t "
      rss[$which]+="$m "
      printf '%-2s round %d %-4s run %7.2f s  peak RSS %4d MB\n' "$size" "$round" "$which" "$t" "$m"
      sample=sample_${size}.mdb
      if [[ $which == new && -e $new/bench/$sample && ! -e $base/bench/$sample ]]; then
        ln -s "$(realpath "$new/bench/$sample")" "$base/bench/$sample"
      fi
    done
  done
  b=$(tr ' ' '\n' <<<"${times[base]}" | grep . | median)
  n=$(tr ' ' '\n' <<<"${times[new]}" | grep . | median)
  br=$(tr ' ' '\n' <<<"${rss[base]}" | grep . | sort -n | tail -1)
  nr=$(tr ' ' '\n' <<<"${rss[new]}" | grep . | sort -n | tail -1)
  printf '%-2s median of %d: base %.2f s, new %.2f s, ratio %.3f; peak RSS base %d MB, new %d MB\n' \
    "$size" "$rounds" "$b" "$n" "$(awk -v n="$n" -v b="$b" 'BEGIN {print n / b}')" "$br" "$nr"
  unset times rss
done
