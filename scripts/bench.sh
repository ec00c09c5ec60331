#!/usr/bin/env bash
# Builds and runs the benchmarks (not part of CI: the goals are measured, not
# asserted). Inside a private network namespace with a veth pair, so that
# kestrelctl and the window find a usable interface; without namespaces only
# the loopback figures are taken. Prints a Markdown table for the README.
#
#   bash scripts/bench.sh              # the usual number of samples
#   bash scripts/bench.sh 0.2          # a fifth of them, for a quick look
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scale="${1:-1}"
build="${KESTREL_BENCH_BUILD:-build/rel}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(kestrel-bench kestrel-sim kestrelctl)
have_window=no
if cmake --build "$build" --target help | grep -q kestrelw-startup-probe; then
  targets+=(kestrelw-startup-probe)
  have_window=yes
fi
cmake --build "$build" --target "${targets[@]}" -j 2

export QT_QPA_PLATFORM=offscreen
in_namespace() {
  local args=(--address "\$KESTREL_NETNS_B" --local "\$KESTREL_NETNS_A" --samples-scale "$scale"
              --kestrelctl "$build/cli/kestrelctl")
  [[ $have_window == yes ]] && args+=(--startup-probe "$build/bench/kestrelw-startup-probe")
  bash tests/netns/with-veth.sh --unshare -- bash -c "exec \"$build/bench/kestrel-bench\" ${args[*]}"
}
status=0
in_namespace || status=$?
if ((status == 77)); then
  echo "(no network namespaces here: loopback figures only)" >&2
  exec "$build/bench/kestrel-bench" --samples-scale "$scale"
fi
exit "$status"
