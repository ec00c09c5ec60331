#!/usr/bin/env bash
# Builds Kestrel and opens the window next to a simulated device.
#
# Both run inside a small private network made for the demo (a user and
# network namespace with a veth pair): the window sees the interfaces
# veth0 10.77.0.1 and veth1 10.77.0.2, and kestrel-sim serves the device on
# 10.77.0.2. Type 10.77.0.2 into the IP address field and press 接続.
#
#   bash scripts/run.sh                      # default simulated device (SX-21, 8 inputs)
#   bash scripts/run.sh -- --model 25 --mode 1   # any kestrel-sim options after --
#
# Needs a display. Without one, run it under a virtual X server:
#   xvfb-run -a bash scripts/run.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

sim_args=()
if [ "${1:-}" = "--" ]; then
  shift
  sim_args=("$@")
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display found (DISPLAY and WAYLAND_DISPLAY are empty)." >&2
  echo "Run it under a virtual X server instead:  xvfb-run -a bash scripts/run.sh" >&2
  exit 1
fi

bash scripts/deps.sh
build="$root/build/run"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target KestrelW kestrel-sim

# The X server's abstract socket does not reach into a new network
# namespace, the file-system socket does; Qt falls back to it by itself.
export KESTREL_DEMO_SIM="$build/sim/kestrel-sim"
export KESTREL_DEMO_WINDOW="$build/app/KestrelW"
exec bash tests/netns/with-veth.sh --unshare -- bash -c '
  set -euo pipefail
  ready="$(mktemp)"
  "$KESTREL_DEMO_SIM" --bind "$KESTREL_NETNS_B" "$@" >"$ready" &
  sim=$!
  trap "kill $sim 2>/dev/null; rm -f \"$ready\"" EXIT
  for _ in $(seq 100); do
    grep -q "ready" "$ready" && break
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
  done
  grep -q "ready" "$ready" || { echo "run.sh: the simulator did not start" >&2; exit 1; }
  cat "$ready"
  echo
  echo "Simulated device ready. In the window, keep the interface $KESTREL_NETNS_A ($KESTREL_NETNS_A_NAME),"
  echo "type $KESTREL_NETNS_B as IP address, keep port 10003 and press 接続."
  "$KESTREL_DEMO_WINDOW"
' run-demo "${sim_args[@]}"
