#!/usr/bin/env bash
# Installs what is needed, builds the program (and the sample database generator), puts the
# sample database beside the program when there is none, and starts the program. On a machine
# without a display the program's screen is served to a browser and to VNC viewers.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh actualizapvp sample_db
db=build/bin/veskgestion.mdb
[[ -e $db ]] || build/bin/sample_db "$db"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  exec ./scripts/serve-headless.sh build/bin/actualizapvp "$@"
fi
exec build/bin/actualizapvp "$@"
