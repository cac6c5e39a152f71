#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test (widget tests on Qt's offscreen platform,
# the real program under an Xvfb server that the smoke test starts itself).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/instalar.sh
./scripts/compilar.sh
cd build
ctest --output-on-failure -j"$(nproc)"
