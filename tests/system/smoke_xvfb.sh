#!/usr/bin/env bash
# The real program under a virtual X server, driven from the keyboard as an operator would.
#
#   smoke_xvfb.sh PROGRAM SAMPLE_DB TESTS_DIR
#
# 1. A normal run: Alt+A, Return on the summary box; every article gets the prices that the
#    engine computes in one statement (tools/sql/set_based_prices.sql), and the window shows its results.
# 2. A run that fails at one article: the error dialog opens, Return ("Continuar") goes on, the
#    other articles are still updated.
# 3. The process killed in the middle of a run: the file passes integrity_check and every article
#    is either untouched or completely updated.
# 4. The error dialog's captions read in-process on the real X server (the hook relabels the
#    buttons before the first paint there too).
# 5. Under a window manager (openbox): the progress window centres itself on the frame that the
#    manager draws, which exists only once the window is shown.
# 6. Under openbox, the windows as a desktop shows them: the window's class is the one its menu
#    entry names, it carries the program's icon, and the summary box has a dialog's frame (its
#    hints offer closing and moving only) with its title shown whole.
# 7. An error report, under openbox: a failing article, the dialog's third button ("Enviar Vesk")
#    from the keyboard; the run ends as after "Salir", and a preview window opens behind the main
#    window, with the error line, readable on the accessibility bus as a screen reader reads it.
# 8. The report mailed: "EMAIL", then "&Enviar mapi", to the SMTP server the program was built
#    for (SMOKE_SMTP_SERVER). The program runs in a network namespace of its own in which that
#    server's name is this machine and a test server, with a certificate from a test authority that
#    only the namespace trusts, stands in for it; the message arrives with the JPEG attached.
# With SCREENSHOT=file.png set, the window after the normal run is saved to that file; with
# PREVIEW_SCREENSHOT=file.png, the preview window of the report.
set -euo pipefail

if [[ -z "${SMOKE_UNDER_XVFB:-}" ]]; then
  export SMOKE_UNDER_XVFB=1
  # -noreset: the server would otherwise start over whenever its last client leaves (between two
  # parts), and refuse the next one for that moment.
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" dbus-run-session -- bash "$0" "$@"
fi

here=$(dirname "$(realpath "$0")")
program=$(realpath "$1")
sample_db=$(realpath "$2")
tests=$(realpath "$3")
export QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME

work=$(mktemp -d "${TMPDIR:-/tmp}/zuk-smoke.XXXXXX")
pid=""
wm=""
a11y=""
ns=""
cleanup() {
  if [[ -n "$ns" ]]; then
    ip netns pids "$ns" 2>/dev/null | xargs -r kill -9 2>/dev/null || true
    ip netns del "$ns" 2>/dev/null || true
    rm -rf "/etc/netns/$ns"
  fi
  [[ -n "$pid" ]] && kill -9 "$pid" 2>/dev/null || true
  [[ -n "$wm" ]] && kill "$wm" 2>/dev/null || true
  [[ -n "$a11y" ]] && kill "$a11y" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# Waits (up to 30 s) for a visible window whose title matches the regular expression.
window() {
  local id
  id=$(timeout 30 xdotool search --sync --onlyvisible --name "$1" | head -1) || fail "no window '$1' appeared"
  echo "$id"
}

# Focuses a window and types keys into it.
keys() {
  local id=$1
  shift
  xdotool windowfocus --sync "$id"
  xdotool key --clearmodifiers "$@"
}

# Starts a copy of the program in a folder of its own, beside the given database.
start() {
  local dir=$1
  cp "$program" "$dir/"
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$dir/$(basename "$program")" >"$dir/output.txt" 2>&1 &
  pid=$!
}

wait_for_exit() {
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" || true; pid=""; return 0; }
    sleep 0.1
  done
  fail "the program did not end"
}

# Articles whose five prices differ between two databases beyond the last of 15 digits, leaving
# out the article given as third argument.
differing() {
  sqlite3 "$1" "ATTACH '$2' AS e;
    SELECT count(*) FROM tblArticulos x JOIN e.tblArticulos y ON x.rowid = y.rowid
     WHERE x.CODARTI IS NOT '${3:-}' AND (
           abs(x.costesiniva - y.costesiniva) > 1e-12 * abs(y.costesiniva)
        OR abs(x.ultimopreciocoste - y.ultimopreciocoste) > 1e-12 * abs(y.ultimopreciocoste)
        OR abs(x.pvp1 - y.pvp1) > 1e-12 * abs(y.pvp1) OR abs(x.pvp2 - y.pvp2) > 1e-12 * abs(y.pvp2)
        OR abs(x.pvp3 - y.pvp3) > 1e-12 * abs(y.pvp3));"
}

# A folder with a sample database (sample_db's sizes as arguments), optionally an article whose
# price overflows (-f CODE), and expected.mdb: the same file with the prices the run must give.
prepare() {
  local failing=""
  if [[ $1 == -f ]]; then failing=$2; shift 2; fi
  d="$work/$1"
  shift
  mkdir -p "$d"
  "$sample_db" "$d/veskgestion.mdb" "$@" >/dev/null
  if [[ -n $failing ]]; then
    sqlite3 "$d/veskgestion.mdb" "
      INSERT INTO tblArticulos (CODARTI, NOMARTI, margen1, margen2, margen3) VALUES ('$failing', 'Enorme', 20, 0, 0);
      INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento) VALUES ('$failing', '2026-01-01', 1e308, 0);"
  fi
  cp "$d/veskgestion.mdb" "$d/expected.mdb"
  sqlite3 "$d/expected.mdb" <"$here/../../tools/sql/set_based_prices.sql"
}

title='^TALVERA\.    Precios-Costes$'

# 1. A normal run ------------------------------------------------------------------------------
prepare normal
start "$d"
main=$(window "$title")
keys "$main" alt+a
summary=$(window '^TALVERA$')
keys "$summary" Return
sleep 0.5
[[ $(differing "$d/veskgestion.mdb" "$d/expected.mdb") == 0 ]] || fail "prices differ after a normal run"
[[ $(sqlite3 "$d/veskgestion.mdb" "SELECT count(*) FROM tblArticulos WHERE pvp1 > 0") -gt 0 ]] || fail "nothing updated"
if [[ -n "${SCREENSHOT:-}" ]]; then
  import -window "$main" "$SCREENSHOT"
fi
keys "$main" alt+s
wait_for_exit
echo "normal run: right"

# 2. A run that fails at one article -----------------------------------------------------------
prepare -f M-FALLA failing
start "$d"
main=$(window "$title")
keys "$main" alt+a
dialog=$(window '^Informando errores $')
keys "$dialog" Return
summary=$(window '^TALVERA$')
keys "$summary" Return
sleep 0.5
[[ $(differing "$d/veskgestion.mdb" "$d/expected.mdb" M-FALLA) == 0 ]] || fail "the other articles were not updated"
keys "$main" alt+s
wait_for_exit
echo "failing article: dialog, Continuar, the rest updated"

# 3. Killed in the middle of a run -------------------------------------------------------------
# An article half-way through the catalogue fails; while its dialog waits for the operator, what
# the run wrote before is on disk. After "Continuar" the process is killed mid-run.
prepare -f A0030000-X killed 60000 600000
before=$(sqlite3 "$d/expected.mdb" "SELECT count(*) FROM tblArticulos WHERE CODARTI < 'A0030000-X' AND pvp1 > 0")
start "$d"
main=$(window "$title")
keys "$main" alt+a
dialog=$(window '^Informando errores $')
written=$(sqlite3 "$d/veskgestion.mdb" "SELECT count(*) FROM tblArticulos WHERE pvp1 > 0")
[[ $written -ge $before ]] || fail "with the dialog open only $written of $before articles are on disk"
keys "$dialog" Return
sleep 0.3
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
pid=""
[[ $(sqlite3 "$d/veskgestion.mdb" "PRAGMA integrity_check") == ok ]] || fail "damaged database"
halfway=$(sqlite3 "$d/veskgestion.mdb" "ATTACH '$d/expected.mdb' AS e;
  SELECT count(*) FROM tblArticulos x JOIN e.tblArticulos y ON x.rowid = y.rowid
   WHERE x.CODARTI <> 'A0030000-X'
     AND NOT (x.costesiniva = 0 AND x.ultimopreciocoste = 0 AND x.pvp1 = 0 AND x.pvp2 = 0 AND x.pvp3 = 0)
     AND NOT (abs(x.costesiniva - y.costesiniva) <= 1e-12 * abs(y.costesiniva)
          AND abs(x.pvp1 - y.pvp1) <= 1e-12 * abs(y.pvp1) AND abs(x.pvp2 - y.pvp2) <= 1e-12 * abs(y.pvp2)
          AND abs(x.pvp3 - y.pvp3) <= 1e-12 * abs(y.pvp3)
          AND x.ultimopreciocoste = x.costesiniva);")
[[ $halfway == 0 ]] || fail "$halfway articles half-updated"
done_=$(sqlite3 "$d/veskgestion.mdb" "SELECT count(*) FROM tblArticulos WHERE pvp1 > 0")
[[ $done_ -ge $written ]] || fail "articles already written were lost"
echo "killed: integrity ok, no article half-updated ($written on disk at the dialog, $done_ at the end)"

# 4. The error dialog's captions under the real X server ---------------------------------------
"$here/../support/run_in_tempdir.sh" "$tests/test_protocol" dialog_captionsOrderAndDefault dialog_keys >"$work/protocol.txt" 2>&1 ||
  { cat "$work/protocol.txt"; fail "the dialog under X"; }
echo "dialog under X: right captions"

# 5. Centring under a window manager ------------------------------------------------------------
# On a loaded machine the manager can take a while, or give up at its first try: it gets 30 s
# and a second start, and what it said is shown if it still is not there.
for attempt in 1 2; do
  openbox --sm-disable >>"$work/openbox.txt" 2>&1 &
  wm=$!
  for _ in $(seq 150); do
    xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_REQUEST_FRAME_EXTENTS && break 2
    kill -0 "$wm" 2>/dev/null || break
    sleep 0.1
  done
  kill "$wm" 2>/dev/null || true
  sleep 1
done
xprop -root _NET_SUPPORTED | grep -q _NET_REQUEST_FRAME_EXTENTS || { cat "$work/openbox.txt"; fail "openbox did not start"; }
"$here/../support/run_in_tempdir.sh" "$tests/test_centring_progress" progress_centredOnWindowManagersFrame \
  >"$work/centring.txt" 2>&1 || { cat "$work/centring.txt"; fail "centring under openbox"; }
echo "centring under openbox: exact"

# 6. The windows under openbox ------------------------------------------------------------------
prepare boxes 40 200
start "$d"
main=$(window "$title")
class=$(xprop -id "$main" WM_CLASS | sed 's/.*, "//; s/"$//')
grep -qx "StartupWMClass=$class" "$here/../../packaging/actualizapvp.desktop" ||
  fail "the window's class '$class' is not the one the menu entry names"
grep -q 'Icon (64 x 64)' <<<"$(xprop -id "$main" _NET_WM_ICON)" || fail "the window carries no icon of its own"
keys "$main" alt+a
summary=$(window '^TALVERA$')
# What the box asks of the manager: to be closed and moved, not minimised or maximised. (Openbox
# keeps its minimise button on every window, whatever the window asks.)
functions=$(xprop -id "$summary" _MOTIF_WM_HINTS | sed 's/.*= //' | cut -d, -f2)
((functions & 0x20 && !(functions & 0x18))) || fail "the box's hints ask for more than closing ($functions)"
xprop -id "$summary" _NET_WM_ALLOWED_ACTIONS | grep -qE 'MAXIMIZE|RESIZE' && fail "the box can be maximised or resized"
# Its title, as wide in the box's title bar as in a window wide enough for it.
bar=$(xprop -id "$summary" _NET_FRAME_EXTENTS | sed 's/.*= //' | cut -d, -f3)
xmessage -title TALVERA -geometry 500x60 referencia >/dev/null 2>&1 &
reference=$!
wide=$(timeout 30 xdotool search --sync --onlyvisible --class xmessage | head -1)
title_width() {
  xdotool windowactivate --sync "$1"
  sleep 0.3
  import -window "$1" -frame -depth 8 ppm:- | python3 "$here/../support/title_text_width.py" "$bar"
}
whole=$(title_width "$wide")
shown=$(title_width "$summary")
kill "$reference"
((shown >= whole)) || fail "the box's title is cut: $shown px shown of $whole"
keys "$summary" Return
keys "$main" alt+s
wait_for_exit
echo "windows under openbox: class and icon of the menu entry, the box's frame and whole title"

# 7. An error report under openbox ---------------------------------------------------------------
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/at-spi.txt" 2>&1 &
a11y=$!
prepare -f A0000150-X report 300 1500
start "$d"
main=$(window "$title")
keys "$main" alt+a
dialog=$(window '^Informando errores $')
keys "$dialog" Tab Tab Return # to "Enviar Vesk", and press it
preview=$(window '^Previsualizador de errores$')
sleep 0.5
# The run left at the failing article: nothing after it was priced, and no summary came.
after=$(sqlite3 "$d/veskgestion.mdb" "SELECT count(*) FROM tblArticulos WHERE CODARTI > 'A0000150-X' AND pvp1 > 0")
[[ $after == 0 ]] || fail "the run went on after 'Enviar Vesk' ($after articles priced)"
xdotool search --onlyvisible --name '^TALVERA$' >/dev/null && fail "a summary after 'Enviar Vesk'"
# Behind the main window: the manager's stacking list runs from the bottom up.
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/, / /g')
position() { local i=0; for w in $stacking; do [[ $((w)) == "$1" ]] && { echo $i; return; }; i=$((i + 1)); done; echo -1; }
p_preview=$(position "$preview")
p_main=$(position "$main")
[[ $p_preview -ge 0 && $p_preview -lt $p_main ]] || fail "the preview is not behind the main window ($stacking)"
texts=$(QT_ACCESSIBILITY=1 "$here/../support/accessible_texts.py" ZUK 'Previsualizador de errores') || fail "not on the accessibility bus"
grep -q $'text\t.*\tfrmPrecioCoste cmdActualizar_Click Desbordamiento$' <<<"$texts" || { echo "$texts"; fail "no error line"; }
[[ -d "$d/imagenerror" ]] || fail "no image folder"
if [[ -n "${PREVIEW_SCREENSHOT:-}" ]]; then
  xdotool windowactivate --sync "$preview"
  sleep 0.5
  import -window "$preview" -frame "$PREVIEW_SCREENSHOT"
fi
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
pid=""
echo "report: the run left, the preview behind the main window with the error line"

# 8. The report mailed, to the server the program was built for ----------------------------------
server_host=$(/usr/bin/python3 -c 'import sys, urllib.parse as u; print(u.urlsplit(sys.argv[1]).hostname)' "$SMOKE_SMTP_SERVER")
server_port=$(/usr/bin/python3 -c 'import sys, urllib.parse as u; print(u.urlsplit(sys.argv[1]).port or 25)' "$SMOKE_SMTP_SERVER")
# A network namespace needs privileges and a / that is a mount point: an unprivileged container
# has neither. The rest of the test has run; this part is skipped, and says why.
if ! why=$(ip netns add "zuk-smoke-$$" 2>&1); then
  echo "SKIPPED: the report mailed to the built-in server: no network namespace can be made here ($why)"
  exit 0
fi
ns=zuk-smoke-$$
ip netns exec "$ns" ip link set lo up
mkdir -p "/etc/netns/$ns/ssl/certs"
echo "127.0.0.1 $server_host" >"/etc/netns/$ns/hosts"
# A test authority, trusted only in the namespace, and the server's certificate from it.
ca=$work/ca
mkdir -p "$ca"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Autoridad de prueba" -keyout "$ca/ca.key" \
  -out "$ca/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=$server_host" -keyout "$ca/server.key" -out "$ca/server.csr" 2>/dev/null
printf 'subjectAltName=DNS:%s\n' "$server_host" >"$ca/san.cnf"
openssl x509 -req -in "$ca/server.csr" -CA "$ca/ca.pem" -CAkey "$ca/ca.key" -CAcreateserial -days 2 \
  -extfile "$ca/san.cnf" -out "$ca/server.pem" 2>/dev/null
cp "$ca/ca.pem" "/etc/netns/$ns/ssl/certs/ca-certificates.crt"
ip netns exec "$ns" /usr/bin/python3 "$here/../servers/smtp_server.py" --dir "$work/mail" --ready "$work/mail.port" \
  --port "$server_port" --cert "$ca/server.pem" --key "$ca/server.key" --user "$SMOKE_SMTP_USER" \
  --password "$SMOKE_SMTP_PASSWORD" >"$work/mail.log" 2>&1 &
for _ in $(seq 100); do [[ -e $work/mail.port ]] && break; sleep 0.1; done
[[ -e $work/mail.port ]] || { cat "$work/mail.log"; fail "the test SMTP server did not start"; }

prepare -f A0000150-X mailed 300 1500
cp "$program" "$d/"
ip netns exec "$ns" "$d/$(basename "$program")" >"$d/output.txt" 2>&1 &
pid=$!
main=$(window "$title")
keys "$main" alt+a
dialog=$(window '^Informando errores $')
keys "$dialog" Tab Tab Return
preview=$(window '^Previsualizador de errores$')
xdotool windowactivate --sync "$preview"
sleep 0.3
# "EMAIL" (3480, 480 twips in the window), then "&Enviar mapi" (9600, 6000 in the panel at 0, 840).
xdotool mousemove --window "$preview" 245 40 click 1
sleep 1
xdotool mousemove --window "$preview" 700 468 click 1
for _ in $(seq 100); do [[ -e $work/mail/1.eml ]] && break; sleep 0.1; done
[[ -e $work/mail/1.eml ]] || { cat "$work/mail.log" "$d/output.txt"; fail "no report arrived"; }
/usr/bin/python3 - "$work/mail/1.eml" "$work/mail/1.json" <<'PY' || fail "the report is not right"
import email, json, struct, sys
message = email.message_from_binary_file(open(sys.argv[1], "rb"))
envelope = json.load(open(sys.argv[2]))
parts = [p for p in message.walk() if p.get_content_type() == "image/jpeg"]
assert len(parts) == 1, "one JPEG attached"
jpeg = parts[0].get_payload(decode=True)
assert jpeg[:2] == b"\xff\xd8", "a JPEG"
# The picture is the main window's (634 pixels wide inside, with the manager's frame), not the screen's.
i = 2
while i < len(jpeg):
    marker, length = jpeg[i + 1], struct.unpack(">H", jpeg[i + 2:i + 4])[0]
    if marker in (0xC0, 0xC2):
        height, width = struct.unpack(">HH", jpeg[i + 5:i + 9])
        break
    i += 2 + length
assert 634 <= width < 700 and 200 <= height < 400, (width, height)
text = [p for p in message.walk() if p.get_content_type() == "text/plain"][0].get_payload(decode=True).decode("utf-8")
assert "frmPrecioCoste cmdActualizar_Click Desbordamiento" in text, text
assert text.startswith("Error generado el "), text
assert message["Subject"].startswith("Correo gestor errores"), message["Subject"]
print("report mailed:", envelope["rcpt_tos"], len(jpeg), "bytes of JPEG")
PY
for _ in $(seq 50); do xdotool search --onlyvisible --name '^Previsualizador de errores$' >/dev/null || break; sleep 0.1; done
xdotool search --onlyvisible --name '^Previsualizador de errores$' >/dev/null && fail "the preview stayed open after sending"
echo "report mailed through MAPI, with the JPEG"
