#!/usr/bin/env bash
# The real program under a virtual X server, driven from the keyboard like an operator would.
#
#   humo_xvfb.sh ACTUALIZAPVP GENERAR_BD BENCH_ACTUALIZAR PRUEBAS_DIR TRABAJO_DIR
#
# 1. A normal run: Alt+A, Return on the summary box; every article gets the prices that the
#    engine's own set-based update computes, and the window shows the results layout.
# 2. A run that fails at one article: the error dialog opens, Return ("Continuar") goes on, the
#    other articles are still updated.
# 3. The process killed in the middle of a run: the file passes integrity_check and every article
#    is either untouched or completely updated.
# 4. The error dialog's captions read in-process on the real X server (the hook relabels the
#    buttons before the first paint there too).
# 5. Under a window manager (openbox): the progress window centres itself on the frame that the
#    manager draws, which exists only once the window is shown.
# With CAPTURA=file.png set, the window after the normal run is saved to that file.
set -euo pipefail

if [[ -z "${HUMO_BAJO_XVFB:-}" ]]; then
  export HUMO_BAJO_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" "$@"
fi

exe=$(realpath "$1")
generar=$(realpath "$2")
bench=$(realpath "$3")
pruebas=$(realpath "$4")
trabajo=$5
export QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME

rm -rf "$trabajo"
mkdir -p "$trabajo"
trabajo=$(realpath "$trabajo")
pid=""

fallo() {
  echo "FALLO: $*" >&2
  [[ -n "$pid" ]] && kill -9 "$pid" 2>/dev/null || true
  exit 1
}

# Waits (up to 30 s) for a visible window whose title matches the regular expression.
ventana() {
  local id
  id=$(timeout 30 xdotool search --sync --onlyvisible --name "$1" | head -1) || fallo "no apareció la ventana '$1'"
  echo "$id"
}

# Focuses a window and types keys into it.
teclas() {
  local id=$1
  shift
  xdotool windowfocus --sync "$id"
  xdotool key --clearmodifiers "$@"
}

# Starts a copy of the program in a folder of its own, beside the given database.
arrancar() {
  local dir=$1
  cp "$exe" "$dir/"
  "$dir/$(basename "$exe")" >"$dir/salida.txt" 2>&1 &
  pid=$!
}

esperar_fin() {
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" || true; pid=""; return 0; }
    sleep 0.1
  done
  fallo "el programa no terminó"
}

# Articles whose prices differ from those of the set-based update of the pristine file.
distintos() {
  "$bench" --distintos "$@"
}

# A folder with a sample database (generar_bd's sizes as arguments), optionally an article
# whose price overflows (-f CODE), and esperado.mdb: the same file after the set-based update.
preparar() {
  local falla=""
  if [[ $1 == -f ]]; then falla=$2; shift 2; fi
  d="$trabajo/$1"
  shift
  mkdir -p "$d"
  "$generar" "$d/veskgestion.mdb" "$@" >/dev/null
  if [[ -n $falla ]]; then
    sqlite3 "$d/veskgestion.mdb" "
      INSERT INTO tblArticulos (CODARTI, NOMARTI, margen1, margen2, margen3) VALUES ('$falla', 'Enorme', 20, 0, 0);
      INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento) VALUES ('$falla', '2026-01-01', 1e308, 0);"
  fi
  cp "$d/veskgestion.mdb" "$d/esperado.mdb"
  "$bench" --conjunto "$d/esperado.mdb"
}

titulo='^TALVERA\.    Precios-Costes$'

# 1. A normal run ------------------------------------------------------------------------------
preparar normal
arrancar "$d"
principal=$(ventana "$titulo")
teclas "$principal" alt+a
resumen=$(ventana '^TALVERA$')
teclas "$resumen" Return
sleep 0.5
[[ $(distintos "$d/veskgestion.mdb" "$d/esperado.mdb") == 0 ]] || fallo "precios distintos tras la ejecución normal"
[[ $(sqlite3 "$d/veskgestion.mdb" "SELECT count(*) FROM tblArticulos WHERE pvp1 > 0") -gt 0 ]] || fallo "nada actualizado"
if [[ -n "${CAPTURA:-}" ]]; then
  import -window "$principal" "$CAPTURA"
fi
teclas "$principal" alt+s
esperar_fin
echo "ejecución normal: correcta"

# 2. A run that fails at one article -----------------------------------------------------------
preparar -f M-FALLA falla
arrancar "$d"
principal=$(ventana "$titulo")
teclas "$principal" alt+a
dialogo=$(ventana '^Informando errores $')
teclas "$dialogo" Return
resumen=$(ventana '^TALVERA$')
teclas "$resumen" Return
sleep 0.5
[[ $(distintos "$d/veskgestion.mdb" "$d/esperado.mdb" M-FALLA) == 0 ]] || fallo "los demás artículos no se actualizaron"
teclas "$principal" alt+s
esperar_fin
echo "artículo que falla: diálogo, Continuar, resto actualizado"

# 3. Killed in the middle of a run -------------------------------------------------------------
# An article half-way through the catalogue fails; while its dialog waits for the operator, what
# the run wrote before is on disk. After "Continuar" the process is killed mid-run.
preparar -f A0030000-X matado 60000 600000
antes=$(sqlite3 "$d/esperado.mdb" "SELECT count(*) FROM tblArticulos WHERE CODARTI < 'A0030000-X' AND pvp1 > 0")
arrancar "$d"
principal=$(ventana "$titulo")
teclas "$principal" alt+a
dialogo=$(ventana '^Informando errores $')
escritos=$(sqlite3 "$d/veskgestion.mdb" "SELECT count(*) FROM tblArticulos WHERE pvp1 > 0")
[[ $escritos -ge $antes ]] || fallo "con el diálogo abierto sólo hay $escritos de $antes artículos en disco"
teclas "$dialogo" Return
sleep 0.3
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
pid=""
[[ $(sqlite3 "$d/veskgestion.mdb" "PRAGMA integrity_check") == ok ]] || fallo "base de datos dañada"
medias=$(sqlite3 "$d/veskgestion.mdb" "ATTACH '$d/esperado.mdb' AS e;
  SELECT count(*) FROM tblArticulos x JOIN e.tblArticulos y ON x.rowid = y.rowid
   WHERE x.CODARTI <> 'A0030000-X'
     AND NOT (x.costesiniva = 0 AND x.ultimopreciocoste = 0 AND x.pvp1 = 0 AND x.pvp2 = 0 AND x.pvp3 = 0)
     AND NOT (abs(x.costesiniva - y.costesiniva) <= 1e-12 * abs(y.costesiniva)
          AND abs(x.pvp1 - y.pvp1) <= 1e-12 * abs(y.pvp1) AND abs(x.pvp2 - y.pvp2) <= 1e-12 * abs(y.pvp2)
          AND abs(x.pvp3 - y.pvp3) <= 1e-12 * abs(y.pvp3)
          AND x.ultimopreciocoste = x.costesiniva);")
[[ $medias == 0 ]] || fallo "$medias artículos a medio actualizar"
hechos=$(sqlite3 "$d/veskgestion.mdb" "SELECT count(*) FROM tblArticulos WHERE pvp1 > 0")
[[ $hechos -ge $escritos ]] || fallo "se perdieron artículos ya escritos"
echo "proceso matado: integridad correcta, ningún artículo a medias ($escritos en disco ante el diálogo, $hechos al final)"

# 4. The error dialog's captions under the real X server ---------------------------------------
"$pruebas/test_protocolo/test_protocolo" dialog_captionsOrderAndDefault dialog_keys >"$trabajo/protocolo.txt" 2>&1 ||
  { cat "$trabajo/protocolo.txt"; fallo "el diálogo bajo X"; }
echo "diálogo bajo X: captions correctos"

# 5. Centring under a window manager ------------------------------------------------------------
openbox --sm-disable >"$trabajo/openbox.txt" 2>&1 &
gestor=$!
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_REQUEST_FRAME_EXTENTS && break
  sleep 0.1
done
xprop -root _NET_SUPPORTED | grep -q _NET_REQUEST_FRAME_EXTENTS || fallo "openbox no arrancó"
"$pruebas/test_centrar_progreso/test_centrar_progreso" progress_centredOnWindowManagersFrame \
  >"$trabajo/centrado.txt" 2>&1 || { cat "$trabajo/centrado.txt"; kill "$gestor"; fallo "centrado bajo openbox"; }
kill "$gestor"
wait "$gestor" 2>/dev/null || true
echo "centrado bajo openbox: exacto"
