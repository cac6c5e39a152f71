#!/usr/bin/env bash
# Runs a program on a virtual screen and serves that screen, for a machine without a display:
# to VNC viewers on localhost:5900 and to browsers at http://localhost:6080/vnc.html (noVNC).
# Under a window manager, so windows have frames and can be moved. Ctrl+C stops everything this
# script started; so does closing the program.
#   serve-headless.sh PROGRAM [ARGUMENTS...]        (VNC_PORT and WEB_PORT choose other ports)
#
# Xvfb with x11vnc rather than Qt's own VNC platform: the viewer then sees exactly what the X
# server draws, with the style, colours, boxes and keyboard of a desktop (Qt's VNC platform draws
# another style, and viewers read its red and blue the wrong way round).
set -euo pipefail
program=$1
shift

free_port() {
  local p=$1
  while (echo >"/dev/tcp/127.0.0.1/$p") 2>/dev/null; do p=$((p + 1)); done
  echo "$p"
}
vnc_port=$(free_port "${VNC_PORT:-5900}")
web_port=$(free_port "${WEB_PORT:-6080}")
display=90
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done

pids=()
stop() {
  trap - EXIT INT TERM
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  # x11vnc sometimes hangs in its own clean-up after SIGTERM (a lock taken inside its signal
  # handler): whatever has not ended within 3 s is killed.
  for _ in $(seq 30); do
    local left=0
    for p in "${pids[@]}"; do kill -0 "$p" 2>/dev/null && left=1; done
    ((left)) || break
    sleep 0.1
  done
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap stop EXIT
trap 'exit 130' INT TERM

Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.05; done
export DISPLAY=:$display
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
x11vnc -display "$DISPLAY" -rfbport "$vnc_port" -localhost -nopw -forever -shared -quiet >/dev/null 2>&1 &
pids+=($!)
websockify --web /usr/share/novnc "$web_port" "localhost:$vnc_port" >/dev/null 2>&1 &
pids+=($!)

cat <<MSG
No display here: the program runs on a virtual screen (:$display).
  In a browser:      http://localhost:$web_port/vnc.html?autoconnect=true
  With a VNC viewer: localhost:$vnc_port
Ctrl+C stops it all.
MSG
"$program" "$@" &
pids+=($!)
wait "${pids[-1]}" || true
