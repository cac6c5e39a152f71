#!/usr/bin/env bash
# Installs, from Debian's packages, everything the program, its tests and its benchmark need.
# Run as root on Debian 12. Safe to run again: apt skips what is already there.
set -euo pipefail

packages=(
  # build, and the format check of the test command
  cmake g++ make pkg-config clang-format
  # the program: Qt 6 widgets and printing, SQLite
  qt6-base-dev libgl-dev libxcb1-dev libsqlite3-dev sqlite3
  # the tests of the real executable: a virtual X server, a keyboard driver, screenshots
  xvfb xauth xdotool imagemagick
  # a window manager, for the tests where window placement depends on the frame it draws
  openbox x11-utils
  # the accessibility bus, through which the smoke test reads the windows as a screen reader does
  at-spi2-core dbus dbus-x11 python3-pyatspi gir1.2-atspi-2.0
  # the tests' second process, which holds the database locked
  python3
  # fonts so that text is measured and drawn the same everywhere
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
