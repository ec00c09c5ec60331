#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kestrel need,
# when they are missing. Needs root (or sudo) on Debian 12. Recommended
# packages come along: Wine needs several of them (X libraries, its own fonts)
# to open windows.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config help2man debhelper
  qt6-base-dev libgl-dev fonts-ipafont-gothic
  libgtest-dev libgmock-dev
  libtomlplusplus-dev
  prometheus-cpp-dev libmicrohttpd-dev libgnutls28-dev libmosquitto-dev libcrypt-dev libsqlite3-dev
  prometheus mosquitto mosquitto-clients curl openssl python3 libjs-chart.js chromium
  iproute2 util-linux xvfb xauth
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  # One line says what comes and why; apt-get's own progress goes to a log
  # that is shown only when it fails.
  echo "deps.sh: installing the Debian packages Kestrel needs here: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO=sudo
  log="$(mktemp)"
  if ! { $SUDO apt-get update -qq &&
         DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq -o=Dpkg::Use-Pty=0 "${missing[@]}"; } \
       >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "deps.sh: apt-get failed (its output is above)" >&2
    exit 1
  fi
  rm -f "$log"
fi
