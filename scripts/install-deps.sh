#!/usr/bin/env bash
# Installs, from Debian's packages, what the program needs to be built and to run, with or without
# a display; with --package, also what makes the Debian package; with --tests, also what the
# tests and benchmarks need.
# Run as root on Debian 12. Safe to run again: apt skips what is already there.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config
  # the program: Qt 6 widgets, printing (and CUPS, asked whether a queue takes jobs) and SVG (its
  # icon), SQLite, GMime and libcurl for the reports' mail
  qt6-base-dev qt6-svg-dev libgl-dev libxcb1-dev libcups2-dev libsqlite3-dev sqlite3 libgmime-3.0-dev libcurl4-openssl-dev
  # the converter of Access databases reads them through libmdb
  mdbtools-dev
  # fonts with the metrics of the ones the windows ask for (see ui/Look.cpp)
  fonts-liberation fonts-comic-neue fonts-wine fonts-dejavu-core
  # without a display: a virtual screen, a window manager, and the screen served to VNC viewers
  # and to browsers
  xvfb xauth openbox x11vnc novnc websockify
)
# The Debian package: dpkg-shlibdeps and file compute its dependencies.
if [[ ${1:-} == --package || ${1:-} == --tests ]]; then
  packages+=(dpkg-dev file)
fi
if [[ ${1:-} == --tests ]]; then
  packages+=(
    # the format check and the static analysis
    clang-format clang-tidy
    # the tests of the real program: a keyboard driver, screenshots, window properties
    xdotool imagemagick x11-utils vncsnapshot curl
    # the accessibility bus, through which the smoke test reads the windows as a screen reader does
    at-spi2-core dbus dbus-x11 python3-pyatspi gir1.2-atspi-2.0
    # the tests' other programs: a second process on the database, an SMTP server, sendmail
    # (msmtp), a private CUPS printing to PDF, and tools to read what they produce
    python3 python3-aiosmtpd msmtp-mta openssl cups-daemon cups-client cups-filters poppler-utils
    # network namespaces for the smoke test's mail
    iproute2
    # the Debian package checked
    lintian desktop-file-utils
    # the fuzzing harnesses (libFuzzer) and the memcheck run
    clang libclang-rt-14-dev valgrind
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
