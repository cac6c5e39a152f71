#!/usr/bin/env bash
# Static analysis: clang-tidy with the checks of .clang-tidy over every source of src/, tools/ and
# tests/ that build/ compiles (the fuzzing harnesses are built elsewhere), compiled as it compiles
# them (run after scripts/build.sh). A finding fails it.
set -euo pipefail
cd "$(dirname "$0")/.."
[[ -e build/compile_commands.json ]] || { echo "tidy: configure build/ first (scripts/build.sh)" >&2; exit 2; }
# GCC's own warning options mean nothing to clang: they are let through.
run-clang-tidy-14 -p build -j"$(nproc)" -quiet -extra-arg=-Wno-unknown-warning-option \
  "$PWD/(src|tools|tests)/.*\.cpp$" >build/tidy.log 2>&1 || {
  sed 's/\x1b\[[0-9;]*m//g' build/tidy.log | grep -E "^/.*(warning|error):" | sort -u
  echo "tidy: findings above (build/tidy.log has the whole output)" >&2
  exit 1
}
echo "tidy: no findings in $(grep -c '^clang-tidy' build/tidy.log) files"
