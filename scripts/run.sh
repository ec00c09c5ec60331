#!/usr/bin/env bash
# Builds Kestrel and opens the window next to a small simulated fleet, or a
# shell to try kestrelctl and kestrel-collector against it.
#
# Both run inside a small private network made for the demo (a user, network
# and PID namespace with a veth pair): the window sees the interfaces veth0
# 10.77.0.1 and veth1 10.77.0.2, and kestrel-sim serves three devices on
# 10.77.0.2, 10.77.0.3 and 10.77.0.4 that answer broadcasts; with mosquitto
# installed, a broker listens on the namespace's own localhost
# (scripts/demo-inside.sh). Type 10.77.0.2 into the IP address field and
# press 接続. Whatever is started in the shell ends with it.
#
#   bash scripts/run.sh                      # default simulated devices (SX-21, 8 inputs)
#   bash scripts/run.sh -- --model 25 --mode 1   # any kestrel-sim options after --
#   bash scripts/run.sh --shell              # a shell with the command-line programs instead
#   bash scripts/run.sh --shell -- --model 1
#
# The window needs a display. Without one, run it under a virtual X server
# (the script installs one): xvfb-run -a bash scripts/run.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

mode=window
if [ "${1:-}" = "--shell" ]; then
  mode=shell
  shift
fi
sim_args=()
if [ "${1:-}" = "--" ]; then
  shift
  sim_args=("$@")
elif [ $# -gt 0 ]; then
  echo "usage: bash scripts/run.sh [--shell] [-- kestrel-sim options]" >&2
  exit 2
fi

# First what the demo needs, so that any advice below can be followed.
bash scripts/deps.sh

if [ "$mode" = window ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display found (DISPLAY and WAYLAND_DISPLAY are empty)." >&2
  echo "Run the window under a virtual X server:  xvfb-run -a bash scripts/run.sh  (Ctrl-C ends it)" >&2
  echo "or try the command-line tool, which needs no display:  bash scripts/run.sh --shell" >&2
  exit 1
fi

# KESTREL_RUN_BUILD names a build folder configured already (CI's, so that
# its demo stage builds nothing twice); by default the demo has its own.
build="${KESTREL_RUN_BUILD:-$root/build/run}"
if [ -z "${KESTREL_RUN_BUILD:-}" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_BUILD_TESTS=OFF >/dev/null
fi
build="$(cd "$build" && pwd)"
if [ "$mode" = window ]; then
  cmake --build "$build" -j "$(nproc)" --target KestrelW kestrel-sim
else
  cmake --build "$build" -j "$(nproc)" --target kestrelctl kestrel-sim kestrel-collector
fi

# The X server's abstract socket does not reach into a new network
# namespace, the file-system socket does; Qt falls back to it by itself.
# A PID namespace of its own, so that the demo's processes end with it.
if ! unshare -rn --pid --fork true 2>/dev/null; then
  echo "run.sh: cannot create the demo's namespaces here (unshare -rn --pid failed)" >&2
  exit 77
fi
exec unshare -rn --pid --fork --kill-child \
  bash tests/netns/with-veth.sh --b-extra 10.77.0.3/24 --b-extra 10.77.0.4/24 -- \
  bash scripts/demo-inside.sh "$mode" "$build" "$root" "${sim_args[@]}"
