#!/usr/bin/env bash
# Smoke test of the Windows program: KestrelW.exe under Wine on a private X
# display, inside a network namespace of its own whose veth pair leads to a
# second namespace with the Linux kestrel-sim. Checks that the window comes up listing the
# namespace's interface, then connects to the simulator through the window
# and checks that the simulated unit is shown (KESTREL_SMOKE_CONNECT=0 leaves
# the connect out). Closing the window must end the program. The program is
# the build's, or the one KESTREL_SMOKE_APP names (such as an unpacked copy).
#
#   tests/win/smoke-test.sh WIN_BUILD_DIR KESTREL_SIM [SCREENSHOT.png]
#
# The screenshot shows the window as the test leaves it: connected, or at
# start-up without the connect (NAME-failed.png when the connect fails).
#
# Uses the Wine prefix in WINEPREFIX (made by scripts/windows-wine-prefix.sh),
# or makes one. Exits 77 (skipped) where a namespace cannot be made.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"

if [[ ${1:-} != --inside ]]; then
  build="$(cd "${1:?windows build dir}" && pwd)"
  sim="$(realpath "${2:?path of the Linux kestrel-sim}")"
  shot="${3:-}"
  [[ -z $shot ]] || shot="$(realpath -m "$shot")"
  work="$(mktemp -d "${TMPDIR:-/tmp}/kestrel-smoke.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
  if [[ -z ${WINEPREFIX:-} ]]; then
    export WINEPREFIX="$work/prefix"
    bash "$root/scripts/windows-wine-prefix.sh" "$WINEPREFIX"
  fi
  # Wine's sockets and interface table live in its server process: it must
  # start inside the namespace, so none may be running for this prefix.
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w >/dev/null 2>&1 || true
  export WINEDEBUG=-all WINEARCH=win64
  set +e
  timeout 240 xvfb-run -a -s "-screen 0 1024x768x24" \
    bash "$root/tests/netns/with-veth.sh" --unshare -- \
    bash "$here/smoke-test.sh" --inside "$build" "$sim" "$work" "$shot"
  status=$?
  set -e
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  exit "$status"
fi

# Inside the namespace, with DISPLAY set.
build="$2" sim="$3" work="$4" shot="$5"
app="${KESTREL_SMOKE_APP:-$build/app/KestrelW.exe}"
probe="$build/tests/win/kestrel-window-probe.exe"
sim_pid="" app_pid=""
finish() {
  [[ -z $app_pid ]] || kill "$app_pid" 2>/dev/null || true
  [[ -z $sim_pid ]] || kill "$sim_pid" 2>/dev/null || true
  timeout 20 wineserver -k >/dev/null 2>&1 || true
}
trap finish EXIT
fail() { echo "smoke: FAIL: $*" >&2; exit 1; }

# The device end of the pair moves into a namespace of its own, with the
# simulator, so that traffic really crosses the pair. With both ends in one
# namespace it could not: Wine ties a datagram socket bound to an interface
# address to that interface, so the probe leaves through veth0, and the
# kernel drops it at veth1 because it carries one of its own addresses as
# the source.
KESTREL_SIM="$sim" KESTREL_DEV_READY="$work/device-ns" unshare -n bash -c '
  touch "$KESTREL_DEV_READY"
  for ((i = 0; i < 100; i++)); do
    ip link show "$KESTREL_NETNS_B_NAME" >/dev/null 2>&1 && break
    sleep 0.05
  done
  ip link set lo up
  ip addr add "$KESTREL_NETNS_B/24" dev "$KESTREL_NETNS_B_NAME"
  ip link set "$KESTREL_NETNS_B_NAME" up
  exec "$KESTREL_SIM" --bind "$KESTREL_NETNS_B" --model 2 --unit 3 --verbose
' >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for ((i = 0; i < 100; i++)); do
  [[ -e $work/device-ns ]] && break
  sleep 0.05
done
[[ -e $work/device-ns ]] || fail "no namespace for the device: $(cat "$work/sim.err")"
ip link set "$KESTREL_NETNS_B_NAME" netns "$sim_pid" || fail "cannot move $KESTREL_NETNS_B_NAME"
for ((i = 0; i < 100; i++)); do
  grep -q 'kestrel-sim ready' "$work/sim.out" 2>/dev/null && break
  sleep 0.1
done
grep -q 'kestrel-sim ready' "$work/sim.out" || fail "kestrel-sim did not get ready: $(cat "$work/sim.err")"

wine "$app" >"$work/app.log" 2>&1 &
app_pid=$!

probe() { timeout 120 wine "$probe" "$@" | tr -d '\r'; }

probe list >"$work/list.txt" || fail "no window: $(cat "$work/list.txt" "$work/app.log")"
cat "$work/list.txt"
grep -qx "adapter $KESTREL_NETNS_A ($KESTREL_NETNS_A_NAME)" "$work/list.txt" ||
  fail "interface $KESTREL_NETNS_A ($KESTREL_NETNS_A_NAME) is not listed"
grep -qx "selected 0" "$work/list.txt" || fail "the first interface is not selected"

screenshot() {  # the window's rectangle out of the whole screen
  local out="$1" x y w h
  read -r x y w h < <(probe list | awk '$1 == "rect" { print $2, $3, $4, $5 }')
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
}
# The connect runs the whole road over the veth pair: UDP discovery, the TCP
# command connection bound to the listed interface, identification, settings.
if [[ ${KESTREL_SMOKE_CONNECT:-1} == 1 ]]; then
  if ! probe connect "$KESTREL_NETNS_B" >"$work/connect.txt"; then
    [[ -z $shot ]] || screenshot "${shot%.png}-failed.png"
    fail "connect: $(cat "$work/connect.txt") device log: $(tail -5 "$work/sim.err")"
  fi
  cat "$work/connect.txt"
  grep -qx "unit 3" "$work/connect.txt" || fail "the unit number of the simulated device is not shown"
fi
if [[ -n $shot ]]; then
  screenshot "$shot"
  echo "smoke: screenshot $shot"
fi

probe close >/dev/null
for ((i = 0; i < 100; i++)); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "the window did not close"
app_pid=""
echo "smoke: passed"
