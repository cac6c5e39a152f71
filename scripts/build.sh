#!/usr/bin/env bash
# Configures and builds into build/ (the program lands in build/bin/). Warnings are errors.
# With target names as arguments, builds only those (run.sh builds just the program).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUK_WERROR=ON
if (($#)); then
  cmake --build build -j"$(nproc)" --target "$@"
else
  cmake --build build -j"$(nproc)"
fi
