#!/usr/bin/env bash
# Runs a program on a virtual screen and serves that screen, for a machine without a display:
# to VNC viewers on localhost:5900 and to browsers at http://localhost:6080/vnc.html (noVNC).
# Under a window manager, so windows have frames and can be moved. Ctrl+C stops everything this
# script started, the program first; so does closing the program.
#   serve-headless.sh PROGRAM [ARGUMENTS...]
#
# By default everything listens on this machine only (127.0.0.1 and ::1): from elsewhere, go
# through an SSH tunnel. REMOTE=1 serves the web page to the network as well, and then only over
# TLS (a self-signed certificate made at first use, its fingerprint printed) and with a password
# made at each start and printed once. VNC_PORT and WEB_PORT choose other ports; busy ones are
# skipped.
#
# Xvfb with x11vnc rather than Qt's own VNC platform: the viewer then sees exactly what the X
# server draws, with the style, colours, boxes and keyboard of a desktop (Qt's VNC platform draws
# another style, and viewers read its red and blue the wrong way round).
set -euo pipefail
program=$1
shift
remote=${REMOTE:-0}

free_port() {
  local p=$1
  while (echo >"/dev/tcp/127.0.0.1/$p") 2>/dev/null; do p=$((p + 1)); done
  echo "$p"
}
vnc_port=$(free_port "${VNC_PORT:-5900}")
web_port=$(free_port "${WEB_PORT:-6080}")
display=90
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done

private=$(mktemp -d "${TMPDIR:-/tmp}/zuk-headless.XXXXXX") # the password file, the program's runtime folder
chmod 700 "$private"
pids=()
program_pid=""
stop() {
  trap - EXIT INT TERM
  # The program first, while its X server is still there; then the rest, the last started first.
  if [[ -n $program_pid ]] && kill "$program_pid" 2>/dev/null; then
    for _ in $(seq 30); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  # x11vnc sometimes hangs in its own clean-up after SIGTERM (a lock taken inside its signal
  # handler): whatever has not ended within 3 s is killed.
  for _ in $(seq 30); do
    local left=0
    for p in "${pids[@]}" $program_pid; do kill -0 "$p" 2>/dev/null && left=1; done
    ((left)) || break
    sleep 0.1
  done
  for p in "${pids[@]}" $program_pid; do kill -9 "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$private"
}
trap stop EXIT
trap 'exit 130' INT TERM

setsid Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.05; done
export DISPLAY=:$display
setsid openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)

# The VNC server, on this machine only; with a password when the page is served to others.
vnc_auth=(-nopw)
if [[ $remote == 1 ]]; then
  password=$(head -c 12 /dev/urandom | base64 | tr -d '/+=' | head -c 12)
  x11vnc -storepasswd "$password" "$private/vncpasswd" >/dev/null 2>&1
  vnc_auth=(-rfbauth "$private/vncpasswd")
fi
setsid x11vnc -display "$DISPLAY" -rfbport "$vnc_port" -localhost "${vnc_auth[@]}" -forever -shared -quiet >/dev/null 2>&1 &
pids+=($!)

# The web page and its websocket proxy: on the loopback addresses, or to the network over TLS.
if [[ $remote == 1 ]]; then
  keep=${XDG_CONFIG_HOME:-$HOME/.config}/actualizapvp
  mkdir -p "$keep" && chmod 700 "$keep"
  if [[ ! -s $keep/headless.pem ]]; then
    openssl req -x509 -newkey rsa:3072 -nodes -days 3650 -subj "/CN=$(hostname)" \
      -keyout "$keep/headless.key" -out "$keep/headless.pem" >/dev/null 2>&1
    chmod 600 "$keep/headless.key"
  fi
  fingerprint=$(openssl x509 -in "$keep/headless.pem" -noout -fingerprint -sha256 | cut -d= -f2)
  setsid websockify --web /usr/share/novnc --cert "$keep/headless.pem" --key "$keep/headless.key" --ssl-only \
    "$web_port" "127.0.0.1:$vnc_port" >/dev/null 2>&1 &
  pids+=($!)
  scheme=https
  where=$(hostname)
else
  for host in 127.0.0.1 ::1; do
    setsid websockify --web /usr/share/novnc "$host:$web_port" "127.0.0.1:$vnc_port" >/dev/null 2>&1 &
    pids+=($!)
  done
  scheme=http
  where=localhost
fi

cat <<MSG
No display here: the program runs on a virtual screen (:$display).
  In a browser:      $scheme://$where:$web_port/vnc.html?autoconnect=true
  With a VNC viewer: localhost:$vnc_port
MSG
if [[ $remote == 1 ]]; then
  cat <<MSG
  Served to the network, over TLS. The certificate's SHA-256 fingerprint (check it in the browser):
    $fingerprint
  The password of this session (shown only now): $password
MSG
fi
echo "Ctrl+C stops it all."
# A runtime folder of its own, private to this user.
# Everything in a session of its own (setsid): Ctrl+C reaches only this script, which stops the
# program first and its X server last.
XDG_RUNTIME_DIR=$private setsid "$program" "$@" &
program_pid=$!
wait "$program_pid" || true
