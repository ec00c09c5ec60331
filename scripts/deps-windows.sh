#!/usr/bin/env bash
# Installs, when missing, what the Windows cross-build and its Wine test run
# need on top of the common packages: the mingw-w64 compilers, Wine, the
# GoogleTest sources to cross-compile, and ImageMagick for the screenshot.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/deps.sh" \
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 \
  wine wine64 googletest imagemagick
