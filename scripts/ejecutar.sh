#!/usr/bin/env bash
# Installs what is needed, builds, puts the sample database beside the program when there is
# none, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/instalar.sh
./scripts/compilar.sh
bd=build/bin/veskgestion.mdb
[[ -e $bd ]] || build/bin/generar_bd "$bd"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No hay pantalla (DISPLAY vacío): el programa arranca en un servidor X virtual, sin verse." >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/actualizapvp "$@"
fi
exec build/bin/actualizapvp "$@"
