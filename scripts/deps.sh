#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kestrel need,
# when they are missing. Needs root (or sudo) on Debian 12. Recommended
# packages come along: Wine needs several of them (X libraries, its own fonts)
# to open windows.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config help2man
  qt6-base-dev libgl-dev fonts-ipafont-gothic
  libgtest-dev libgmock-dev
  iproute2 util-linux xvfb xauth
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
