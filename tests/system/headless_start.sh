#!/usr/bin/env bash
# The first command's way on a machine without a display (scripts/serve-headless.sh), with the
# real program beside a sample database:
#   - a picture of the screen through a real VNC client (vncsnapshot) with the session's password
#     shows the main window; without the password the client is refused;
#   - the X server lets in no client without the session's cookie;
#   - the web page (noVNC) and its websocket proxy answer;
#   - nothing it opened listens beyond this machine (127.0.0.1, ::1); a port another account holds
#     on ::1 alone is skipped, and the addresses printed are 127.0.0.1's; the password printed is
#     as long as VNC checks (8 characters);
#   - Ctrl+C (SIGINT to the script) stops everything it started, the program before its X server
#     (so it says nothing of a broken X connection), and the program warns of nothing;
#   - with REMOTE=1 the page is served to the network over TLS only (the fingerprint printed is the
#     certificate's), everything else stays on loopback, and Ctrl+C again stops it all.
#   headless_start.sh PROGRAM SAMPLE_DB
set -euo pipefail
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d "${TMPDIR:-/tmp}/zuk-headless.XXXXXX")
server=""
squatter=""
cleanup() {
  [[ -n $squatter ]] && kill "$squatter" 2>/dev/null || true
  # As an operator would: Ctrl+C first, so that the script stops what it started; then by force.
  if [[ -n "$server" ]]; then
    kill -INT "$server" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
  fi
  pkill -9 -f "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  [[ -f $work/served.txt ]] && cat "$work/served.txt" >&2
  exit 1
}

cp "$(realpath "$1")" "$work/"
"$(realpath "$2")" "$work/veskgestion.mdb" >/dev/null
program=$work/$(basename "$1")
unset DISPLAY WAYLAND_DISPLAY XAUTHORITY
export VNC_PORT=$((5950 + RANDOM % 40)) WEB_PORT=$((16080 + RANDOM % 1000))

# Starts the command as from a terminal (SIGINT reaches the script; a background job would ignore
# it otherwise), its private folder inside ours, and reads what it printed.
serve() {
  TMPDIR=$work /usr/bin/python3 -c \
    'import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL); os.execvp(sys.argv[1], sys.argv[1:])' \
    bash "$here/../../scripts/serve-headless.sh" "$program" >"$work/served.txt" 2>&1 &
  server=$!
  for _ in $(seq 600); do grep -q "Ctrl+C stops" "$work/served.txt" && break; sleep 0.1; done
  grep -q "Ctrl+C stops" "$work/served.txt" || { cat "$work/served.txt"; fail "the script did not serve the program within 60 s"; }
  vnc=$(sed -n 's/.*With a VNC viewer: 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/served.txt")
  web=$(sed -n 's|.*https\{0,1\}://[^:]*:\([0-9]*\)/vnc.html.*|\1|p' "$work/served.txt")
  display=$(sed -n 's/.*virtual screen (\(:[0-9]*\)).*/\1/p' "$work/served.txt")
  [[ -n $vnc && -n $web && -n $display ]] || fail "no addresses printed"
}
# What the command's processes listen on (they name our folder, or the ports they were given).
listening() {
  local ours
  ours=$(pgrep -d'|' -f "$work|rfbport $vnc |websockify.*[: ]$web " || true)
  ss -ltnpH | grep -E "pid=($ours)," | awk '{print $4}'
}
# Ctrl+C; then nothing of it may be left.
interrupt() {
  kill -INT "$server"
  # The script gives what it started 3 s to end before killing it; a program built with the
  # sanitizers also spends seconds checking for leaks as it exits.
  for _ in $(seq 200); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$server" 2>/dev/null && fail "Ctrl+C did not stop the script"
  server=""
  sleep 0.3
  local left
  left=$(pgrep -f "$work/|rfbport $vnc |websockify.*[: ]$web " || true)
  [[ -z $left ]] || fail "left running after Ctrl+C: $(ps -o pid,args -p "${left//$'\n'/,}")"
}

# Another account takes the web port on ::1 only, first: the script must not print an address that
# may lead a browser to it.
if [[ $(id -u) == 0 ]] && id nobody >/dev/null 2>&1; then
  setsid runuser -u nobody -- /usr/bin/python3 -m http.server --bind ::1 "$WEB_PORT" >/dev/null 2>&1 &
  squatter=$!
  for _ in $(seq 50); do ss -ltnH "sport = :$WEB_PORT" | grep -q '\[::1\]' && break; sleep 0.1; done
  ss -ltnH "sport = :$WEB_PORT" | grep -q '\[::1\]' || { kill "$squatter"; squatter=""; echo "(no IPv6 loopback here: no squatter)"; }
fi
serve
if [[ -n $squatter ]]; then
  [[ $web != "$WEB_PORT" ]] || fail "port $WEB_PORT, held on ::1 by another account, was served as free"
  echo "a port held on ::1 by another account: skipped ($WEB_PORT, served on $web)"
fi
grep -q "http://127.0.0.1:$web/vnc.html" "$work/served.txt" || fail "the address printed is not 127.0.0.1's"
password=$(sed -n 's/.*(password \([^)]*\)).*/\1/p' "$work/served.txt")
((${#password} == 8)) || fail "the password printed has ${#password} characters; VNC checks 8"
grep -q "vnc.html?autoconnect=true#password=$password\$" "$work/served.txt" ||
  fail "the browser's address does not carry the password"
x11vnc -storepasswd "$password" "$work/passwd" >/dev/null 2>&1

# The main window on the screen the VNC server serves: its background, RGB(198, 199, 197), covers
# most of its 634 × 189 pixels inside.
seen=0
for _ in $(seq 60); do
  if vncsnapshot -quiet -passwd "$work/passwd" "localhost:$((vnc - 5900))" "$work/screen.jpg" </dev/null \
    >/dev/null 2>&1; then
    seen=$(convert "$work/screen.jpg" -fuzz 4% -fill white -opaque "rgb(198,199,197)" -fill black +opaque white \
      -format "%[fx:round(mean*w*h)]" info:)
    ((seen > 634 * 189 / 2)) && break
  fi
  sleep 0.5
done
((seen > 634 * 189 / 2)) || fail "the main window is not on the served screen ($seen pixels of its colour)"
echo "VNC: the main window is on the screen ($seen pixels of its background)"
setsid vncsnapshot -quiet "localhost:$((vnc - 5900))" "$work/refused.jpg" </dev/null >/dev/null 2>&1 &&
  fail "a VNC client without the password was let in"
DISPLAY=$display XAUTHORITY=/dev/null xdpyinfo >/dev/null 2>&1 && fail "the X server let in a client without the cookie"
DISPLAY=$display XAUTHORITY=$(echo "$work"/zuk-headless.*/Xauthority) xdpyinfo >/dev/null 2>&1 ||
  fail "the X server did not let in a client with the session's cookie"
echo "refused: a VNC client without the password, an X client without the cookie"

# Its X server listens on no port (-nolisten tcp), the rest on loopback only.
sockets=$(listening)
[[ -n $sockets ]] || fail "found nothing listening"
beyond=$(grep -vE '^(127\.0\.0\.1|\[::1\]):' <<<"$sockets" || true)
[[ -z $beyond ]] || fail "listening beyond this machine: $beyond"
echo "sockets: only on loopback ($(tr '\n' ' ' <<<"$sockets"))"

code=$(curl -s -o "$work/page.html" -w '%{http_code}' "http://localhost:$web/vnc.html")
[[ $code == 200 ]] && grep -q "noVNC" "$work/page.html" || fail "the web page did not answer ($code)"
answer=$(curl -s -i -N --max-time 3 -H "Connection: Upgrade" -H "Upgrade: websocket" -H "Sec-WebSocket-Version: 13" \
  -H "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==" "http://localhost:$web/websockify" | head -1 || true)
[[ $answer == *" 101 "* ]] || fail "the websocket proxy did not answer ($answer)"
echo "web: the page and its websocket proxy answer"

interrupt
echo "Ctrl+C: everything stopped"
grep -qE "X11 connection broke|XDG_RUNTIME_DIR" "$work/served.txt" && fail "the program warned: $(cat "$work/served.txt")"
echo "the program said nothing on the terminal"

# Served to the network on request: TLS and the password.
export REMOTE=1 XDG_CONFIG_HOME=$work/config
serve
password=$(sed -n 's/.*password of this session (shown only now): //p' "$work/served.txt")
printed=$(sed -n '/fingerprint/{n;s/ //gp}' "$work/served.txt")
[[ -n $password && -n $printed ]] || fail "no password or fingerprint printed"
code=$(curl -sk -o /dev/null -w '%{http_code}' "https://127.0.0.1:$web/vnc.html")
[[ $code == 200 ]] || fail "the page over TLS did not answer ($code)"
curl -s -o /dev/null --max-time 3 "http://127.0.0.1:$web/vnc.html" && fail "the page answered without TLS"
served=$(openssl s_client -connect "127.0.0.1:$web" </dev/null 2>/dev/null | openssl x509 -noout -fingerprint -sha256 | cut -d= -f2)
[[ $served == "$printed" ]] || fail "the fingerprint printed ($printed) is not the certificate's ($served)"
sockets=$(listening)
grep -qE "^(0\.0\.0\.0|\*|\[::\]):$web$" <<<"$sockets" || fail "the page is not served to the network"
beyond=$(grep -vE "^(127\.0\.0\.1|\[::1\]):|:$web\$" <<<"$sockets" || true)
[[ -z $beyond ]] || fail "listening beyond this machine besides the page: $beyond"
setsid vncsnapshot -quiet "localhost:$((vnc - 5900))" "$work/refused.jpg" </dev/null >/dev/null 2>&1 &&
  fail "a VNC client without the password was let in"
x11vnc -storepasswd "$password" "$work/passwd" >/dev/null 2>&1
for _ in $(seq 20); do
  vncsnapshot -quiet -passwd "$work/passwd" "localhost:$((vnc - 5900))" "$work/let-in.jpg" </dev/null >/dev/null 2>&1 && break
  sleep 0.5
done
[[ -s $work/let-in.jpg ]] || fail "the session's password did not let the client in"
interrupt
echo "remote: TLS only, the fingerprint printed is the certificate's, the rest on loopback, no screen without the password, the screen with it, Ctrl+C stops it all"
