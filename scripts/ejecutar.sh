#!/usr/bin/env bash
# Installs what is needed, builds, puts the sample database beside the program when there is
# none, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/instalar.sh
./scripts/compilar.sh
bd=build/bin/veskgestion.mdb
[[ -e $bd ]] || build/bin/generar_bd "$bd"
exec build/bin/actualizapvp "$@"
