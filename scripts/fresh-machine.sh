#!/usr/bin/env bash
# Tries the README's two commands on a fresh Debian 12, as a new machine would run them.
#
#   scripts/fresh-machine.sh [--keep] [--only run|test] [FOLDER]
#
# 1. Builds a minimal Debian 12 (debootstrap --variant=minbase bookworm) in FOLDER/root
#    (default: a new folder under /var/tmp), with the apt sources of this machine.
# 2. Makes it a machine of its own: the folder is bind-mounted onto itself, so that its / is a
#    mount point (network namespaces need that), with proc, sys and dev mounted in it.
# 3. Clones this repository's committed HEAD into it (what CI gets: no uncommitted changes).
# 4. Runs the first command (./scripts/run.sh) with no display, and checks that it prints where
#    the program is served; then stops it with Ctrl+C, as an operator would.
# 5. Runs the second command (./scripts/test.sh).
# Prints how long each took, and exits non-zero when either failed. Everything it mounted is
# unmounted and, unless --keep is given, the folder is removed.
#
# Run as root, on a machine that can reach Debian's mirrors. It takes about half an hour on two
# cores; do not build anything else meanwhile.
set -euo pipefail

keep=0
only=""
while (($#)); do
  case $1 in
    --keep) keep=1; shift ;;
    --only) only=$2; shift 2 ;;
    -h | --help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
done
[[ $(id -u) == 0 ]] || { echo "fresh-machine: run as root" >&2; exit 2; }
repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
folder=${1:-$(mktemp -d /var/tmp/zuk-fresh.XXXXXX)}
root=$folder/root
mkdir -p "$root"
log=$folder/log
mkdir -p "$log"

if ! command -v debootstrap >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

mounted=()
# Whatever still runs inside the machine (a server left behind).
kill_inside() {
  for p in /proc/[0-9]*; do
    [[ $(readlink "$p/root" 2>/dev/null) == "$root" ]] && kill -9 "${p#/proc/}" 2>/dev/null || true
  done
}
teardown() {
  # What still runs inside goes first, then the mounts.
  kill_inside
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[i]}" 2>/dev/null || umount -lR "${mounted[i]}" 2>/dev/null || true
  done
  if ((keep)); then
    echo "fresh-machine: kept $folder"
  else
    rm -rf --one-file-system "$folder"
  fi
}
trap teardown EXIT

started=$SECONDS
if [[ ! -x $root/bin/bash ]]; then
  echo "== A minimal Debian 12 in $root"
  mirror=http://deb.debian.org/debian
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$log/debootstrap.log" 2>&1 ||
    { tail -20 "$log/debootstrap.log"; exit 1; }
fi
# The same sources as this machine (updates and security included), and its name resolution.
if [[ -e /etc/apt/sources.list.d/debian.sources ]]; then
  rm -f "$root/etc/apt/sources.list"
  cp /etc/apt/sources.list.d/debian.sources "$root/etc/apt/sources.list.d/"
fi
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

mount --bind "$root" "$root" && mounted+=("$root")
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
mount -t tmpfs tmpfs "$root/run"
echo "   ready in $((SECONDS - started)) s"

rm -rf "$root/root/actualizapvp"
git clone -q "$repo" "$root/root/actualizapvp"
echo "== Cloned $(git -C "$root/root/actualizapvp" log -1 --format='%h %s')"

inside() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd /root/actualizapvp && $1"
}

status=0
if [[ -z $only || $only == run ]]; then
  echo "== The first command, with no display: ./scripts/run.sh"
  t=$SECONDS
  # Its own process group, so that Ctrl+C (SIGINT) reaches all of it as a terminal's would; and
  # SIGINT handled as in a terminal (a shell starts its background jobs with it ignored).
  setsid python3 -c 'import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL); os.execvp(sys.argv[1], sys.argv[1:])' \
    bash -c "$(declare -f inside); root=$root; inside ./scripts/run.sh" >"$log/run.log" 2>&1 &
  runner=$!
  served=0
  for _ in $(seq 1800); do
    if grep -q 'In a browser:' "$log/run.log"; then served=1; break; fi
    kill -0 "$runner" 2>/dev/null || break
    sleep 1
  done
  if ((served)); then
    sleep 2
    sed -n '/^No display here/,/Ctrl+C/p' "$log/run.log"
    kill -INT -- "-$runner" 2>/dev/null || true
    for _ in $(seq 30); do kill -0 "$runner" 2>/dev/null || break; sleep 1; done
    if kill -0 "$runner" 2>/dev/null; then
      echo "FAILED: the run command did not stop on Ctrl+C within 30 s"
      kill -9 -- "-$runner" 2>/dev/null || true
      kill_inside
      status=1
    fi
    echo "   served after $((SECONDS - t)) s"
  else
    tail -30 "$log/run.log"
    echo "FAILED: the run command did not say where the program is served ($((SECONDS - t)) s)"
    kill -9 -- "-$runner" 2>/dev/null || true
    status=1
  fi
  wait "$runner" 2>/dev/null || true
fi

if [[ -z $only || $only == test ]]; then
  echo "== The second command: ./scripts/test.sh"
  t=$SECONDS
  if inside ./scripts/test.sh >"$log/test.log" 2>&1; then
    grep -E '^== |tests passed|Total Test time' "$log/test.log" || true
    echo "   passed in $((SECONDS - t)) s"
  else
    tail -60 "$log/test.log"
    echo "FAILED: the test command, after $((SECONDS - t)) s"
    status=1
  fi
fi
if ((!keep)); then
  rm -rf /var/tmp/zuk-fresh-last-log && cp -r "$log" /var/tmp/zuk-fresh-last-log && log=/var/tmp/zuk-fresh-last-log
fi
echo "== fresh-machine: $( ((status)) && echo FAILED || echo passed) in $((SECONDS - started)) s (logs: $log)"
exit $status
