#!/usr/bin/env bash
# Installs what is needed, builds, puts the sample database beside the program when there is
# none, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
db=build/bin/veskgestion.mdb
[[ -e $db ]] || build/bin/sample_db "$db"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No hay pantalla (DISPLAY vacío): el programa arranca en un servidor X virtual, sin verse." >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/actualizapvp "$@"
fi
exec build/bin/actualizapvp "$@"
