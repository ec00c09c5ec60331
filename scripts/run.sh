#!/usr/bin/env bash
# Builds Kestrel and opens the window next to a simulated device, or a shell
# to try kestrelctl against it.
#
# Both run inside a small private network made for the demo (a user and
# network namespace with a veth pair): the window sees the interfaces
# veth0 10.77.0.1 and veth1 10.77.0.2, and kestrel-sim serves the device on
# 10.77.0.2. Type 10.77.0.2 into the IP address field and press 接続.
#
#   bash scripts/run.sh                      # default simulated device (SX-21, 8 inputs)
#   bash scripts/run.sh -- --model 25 --mode 1   # any kestrel-sim options after --
#   bash scripts/run.sh --shell              # a shell with kestrelctl instead of the window
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

build="$root/build/run"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_BUILD_TESTS=OFF >/dev/null
if [ "$mode" = window ]; then
  cmake --build "$build" -j "$(nproc)" --target KestrelW kestrel-sim
else
  cmake --build "$build" -j "$(nproc)" --target kestrelctl kestrel-sim
fi

# The X server's abstract socket does not reach into a new network
# namespace, the file-system socket does; Qt falls back to it by itself.
export KESTREL_DEMO_MODE="$mode" KESTREL_DEMO_BUILD="$build" KESTREL_DEMO_ROOT="$root"
exec bash tests/netns/with-veth.sh --unshare -- bash -c '
  set -euo pipefail
  ready="$(mktemp)"
  rc="$(mktemp)"
  "$KESTREL_DEMO_BUILD/sim/kestrel-sim" --bind "$KESTREL_NETNS_B" "$@" >"$ready" &
  sim=$!
  trap "kill $sim 2>/dev/null; rm -f \"$ready\" \"$rc\"" EXIT
  for _ in $(seq 100); do
    grep -q "ready" "$ready" && break
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
  done
  grep -q "ready" "$ready" || { echo "run.sh: the simulator did not start" >&2; exit 1; }
  cat "$ready"
  echo
  if [ "$KESTREL_DEMO_MODE" = shell ]; then
    dev=$KESTREL_NETNS_B
    # The shell: the user'"'"'s own start-up file, then the tools on PATH, their
    # completion and a prompt that says where it is.
    # BASH_ENV goes: every bash script the user runs would read this again.
    cat >"$rc" <<RC
unset BASH_ENV
[[ \$- == *i* && -f ~/.bashrc ]] && source ~/.bashrc
PATH="$KESTREL_DEMO_BUILD/cli:$KESTREL_DEMO_BUILD/sim:\$PATH"
source "$KESTREL_DEMO_ROOT/packaging/kestrelctl.bash"
PS1="(kestrel demo) \\w\\\$ "
RC
    echo "kestrel-sim serves a simulated device on $dev; kestrelctl is on PATH."
    echo "  kestrelctl -a $dev info                   identity and settings"
    echo "  kestrelctl -a $dev read --interval 1      counters every second, Ctrl-C ends"
    echo "  kestrelctl -a $dev stop; kestrelctl -a $dev apply --input DI3=fall"
    echo "  exit (or Ctrl-D) leaves this network and stops the simulator"
    # Commands fed on standard input (a script, a test) run without prompts.
    if [ -t 0 ]; then bash --rcfile "$rc" -i || true; else BASH_ENV="$rc" bash -s || true; fi
  else
    echo "Simulated device ready, counting on: its settings stay greyed out until"
    echo "Start/Stop switches counting off. In the window, keep the interface"
    echo "$KESTREL_NETNS_A ($KESTREL_NETNS_A_NAME), type $KESTREL_NETNS_B as IP address, keep port 10003"
    echo "and press 接続. Escape or the close box ends the demo."
    "$KESTREL_DEMO_BUILD/app/KestrelW"
  fi
' run-demo "${sim_args[@]}"
