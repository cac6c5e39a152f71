#!/usr/bin/env bash
# Runs a program on a virtual screen and serves that screen, for a machine without a display:
# to VNC viewers on localhost:5900 and to browsers at http://localhost:6080/vnc.html (noVNC).
# Under a window manager, so windows have frames and can be moved. Ctrl+C stops everything this
# script started, the program first; so does closing the program.
#   serve-headless.sh PROGRAM [ARGUMENTS...]
#
# By default everything listens on this machine only (127.0.0.1 and ::1), and the addresses printed
# are 127.0.0.1's: from elsewhere, go through an SSH tunnel. REMOTE=1 serves the web page to the network as well, and then only over
# TLS (a self-signed certificate made at first use, its fingerprint printed). Either way the screen
# asks for a password made at each start and printed once (the browser's address carries it), as
# the loopback addresses are open to every account of the machine and to the pages its browsers
# show; the X server itself takes only clients with this session's cookie. VNC_PORT and WEB_PORT
# choose other ports; busy ones are skipped.
#
# Xvfb with x11vnc rather than Qt's own VNC platform: the viewer then sees exactly what the X
# server draws, with the style, colours, boxes and keyboard of a desktop (Qt's VNC platform draws
# another style, and viewers read its red and blue the wrong way round).
set -euo pipefail
program=$1
shift
remote=${REMOTE:-0}

# The kernel's listening TCP sockets on a port, on any address, IPv4 and IPv6, as socket inodes
# (another account's included: /proc/net lists them all).
listeners() {
  local hex
  hex=$(printf '%04X' "$1")
  awk -v port="$hex" '$4 == "0A" && substr($2, index($2, ":") + 1) == port { print $10 }' \
    /proc/net/tcp /proc/net/tcp6 2>/dev/null
}
# A port is free only when nothing listens on it on any address: another account that took it on
# ::1 alone would otherwise answer a browser that reaches localhost through IPv6.
free_port() {
  local p=$1
  while [[ -n $(listeners "$p") ]]; do p=$((p + 1)); done
  echo "$p"
}
# Whether the process listens on the port itself (a socket of its own among those listening).
listens_on() {
  local pid=$1 port=$2 inode
  for inode in $(listeners "$port"); do
    ls -l "/proc/$pid/fd" 2>/dev/null | grep -q "socket:\[$inode\]" && return 0
  done
  return 1
}
# Waits up to 10 s for each process to listen on its port; otherwise says which did not.
expect_listening() {
  local what=$1 pid=$2 port=$3
  for _ in $(seq 100); do
    listens_on "$pid" "$port" && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "$what could not listen on port $port (another program may have taken it)." >&2
  exit 1
}
vnc_port=$(free_port "${VNC_PORT:-5900}")
web_port=$(free_port "${WEB_PORT:-6080}")

# The X cookie, the password file, the program's runtime folder.
private=$(mktemp -d "${TMPDIR:-/tmp}/zuk-headless.XXXXXX")
chmod 700 "$private"
pids=()
program_pid=""
stop() {
  # A second Ctrl+C while stopping must not leave the servers running.
  trap '' INT TERM HUP
  trap - EXIT
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
trap 'exit 130' INT TERM HUP

# The X server takes the first free display, says which when it is ready, and lets in only the
# clients that show this session's cookie (kept in the private folder, never on a command line).
export XAUTHORITY=$private/Xauthority
: >"$XAUTHORITY"
cookie=$(mcookie)
echo "add :0 . $cookie" | xauth -q -f "$XAUTHORITY" source - # the server reads it whatever its number
mkfifo "$private/display"
setsid Xvfb -displayfd 3 -auth "$XAUTHORITY" -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$private/display" \
  >/dev/null 2>&1 &
pids+=($!)
read -r -t 10 display <"$private/display" || { echo "The virtual screen did not start." >&2; exit 1; }
echo "add :$display . $cookie" | xauth -q -f "$XAUTHORITY" source -
export DISPLAY=:$display
setsid openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)

# The VNC server, on this machine only, with this session's password (the file it is read from is
# removed once read).
# VNC's own authentication checks only the first 8 characters of a password: the password is
# those 8, as many as are checked.
password=$(head -c 24 /dev/urandom | base64 | tr -d '/+=' | head -c 8)
(umask 077 && printf '%s\n' "$password" >"$private/vncpassword")
setsid x11vnc -display "$DISPLAY" -rfbport "$vnc_port" -localhost -passwdfile "rm:$private/vncpassword" \
  -forever -shared -quiet >/dev/null 2>&1 &
pids+=($!)
expect_listening "The VNC server" "${pids[-1]}" "$vnc_port"

# The web page and its websocket proxy: on the loopback addresses, or to the network over TLS.
if [[ $remote == 1 ]]; then
  keep=${XDG_CONFIG_HOME:-$HOME/.config}/actualizapvp
  mkdir -p "$keep" && chmod 700 "$keep"
  # Made under other names and moved into place, the key before the certificate: an interrupted
  # start leaves no certificate without its key.
  if [[ ! -s $keep/headless.pem || ! -s $keep/headless.key ]]; then
    (umask 077 && openssl req -x509 -newkey rsa:3072 -nodes -days 3650 -subj "/CN=$(hostname)" \
      -keyout "$keep/headless.key.$$" -out "$keep/headless.pem.$$" >/dev/null 2>&1) ||
      { echo "Could not make the TLS certificate in $keep." >&2; exit 1; }
    mv -f "$keep/headless.key.$$" "$keep/headless.key"
    mv -f "$keep/headless.pem.$$" "$keep/headless.pem"
  fi
  fingerprint=$(openssl x509 -in "$keep/headless.pem" -noout -fingerprint -sha256 | cut -d= -f2)
  setsid websockify --web /usr/share/novnc --cert "$keep/headless.pem" --key "$keep/headless.key" --ssl-only \
    "$web_port" "127.0.0.1:$vnc_port" >/dev/null 2>&1 &
  pids+=($!)
  expect_listening "The web page" "${pids[-1]}" "$web_port"
  scheme=https
  where=$(hostname)
else
  hosts=(127.0.0.1)
  grep -q ' lo$' /proc/net/if_inet6 2>/dev/null && hosts+=(::1) # a machine may have no IPv6
  for host in "${hosts[@]}"; do
    setsid websockify --web /usr/share/novnc "$host:$web_port" "127.0.0.1:$vnc_port" >/dev/null 2>&1 &
    pids+=($!)
    expect_listening "The web page ($host)" "${pids[-1]}" "$web_port"
  done
  # The address printed is IPv4's, which can lead only to the proxy started here (a name such as
  # localhost may lead a browser to ::1 first).
  scheme=http
  where=127.0.0.1
fi

if [[ $remote == 1 ]]; then
  cat <<MSG
No display here: the program runs on a virtual screen (:$display).
  In a browser:      $scheme://$where:$web_port/vnc.html?autoconnect=true
  With a VNC viewer: 127.0.0.1:$vnc_port
  Served to the network, over TLS. The certificate's SHA-256 fingerprint (check it in the browser):
    $fingerprint
  The password of this session (shown only now): $password
MSG
else
  # The password rides after '#', which the browser keeps to itself.
  cat <<MSG
No display here: the program runs on a virtual screen (:$display).
  In a browser:      $scheme://$where:$web_port/vnc.html?autoconnect=true#password=$password
  With a VNC viewer: 127.0.0.1:$vnc_port (password $password)
MSG
fi
echo "Ctrl+C stops it all."
# The program gets a runtime folder of its own, private to this user, and a session of its own
# (setsid): Ctrl+C reaches only this script, which stops the program first and its X server last.
XDG_RUNTIME_DIR=$private setsid "$program" "$@" &
program_pid=$!
wait "$program_pid" || true
