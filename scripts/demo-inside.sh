#!/usr/bin/env bash
# The demo's own network, from the inside: scripts/run.sh starts this in a
# new user, network and PID namespace (tests/netns/with-veth.sh made veth0
# 10.77.0.1 and veth1 10.77.0.2 to .4). It starts a small simulated fleet and,
# when mosquitto is installed, a local broker, then the window or a shell.
#
# This script is the namespace's first process: when it ends, the kernel ends
# every process left in the namespace, so nothing the demo or its user
# started outlives it.
#
# Usage (from run.sh): demo-inside.sh window|shell BUILD_DIR ROOT [kestrel-sim options]
set -euo pipefail

mode=$1 build=$2 root=$3
shift 3
readonly DEVICES=3          # on veth1's three addresses
readonly READY_STEPS=100    # x 0.1 s, for the simulator and the broker each
readonly BROKER_PORT=1883   # the broker listens on this namespace's own loopback
readonly MQTT_USER=kestrel MQTT_PASSWORD=secret

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-demo.XXXXXX")
pids=()
# A TERM first, so that each ends cleanly; the namespace's end does the rest.
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT

# The fleet: devices that answer broadcasts as real ones do. A socket bound
# to one address never receives a broadcast, so each simulated device also
# listens on the wildcard address (--answer-broadcast) and answers from its own.
"$build/sim/kestrel-sim" --bind "$KESTREL_NETNS_B" --devices "$DEVICES" --answer-broadcast "$@" \
  >"$work/sim.out" &
pids+=($!)
for _ in $(seq "$READY_STEPS"); do
  grep -q ready "$work/sim.out" && break
  kill -0 "${pids[0]}" 2>/dev/null || break
  sleep 0.1
done
grep -q ready "$work/sim.out" || { echo "run.sh: the simulator did not start" >&2; exit 1; }
cat "$work/sim.out"

broker=""
if command -v mosquitto >/dev/null && command -v mosquitto_passwd >/dev/null; then
  mosquitto_passwd -b -c "$work/broker.passwd" "$MQTT_USER" "$MQTT_PASSWORD"
  # root here is the user outside; "user root" keeps mosquitto from trying to
  # switch to an account this namespace cannot map.
  cat >"$work/broker.conf" <<CONF
user root
listener $BROKER_PORT 127.0.0.1
password_file $work/broker.passwd
allow_anonymous false
persistence false
CONF
  mosquitto -c "$work/broker.conf" >"$work/broker.log" 2>&1 &
  pids+=($!)
  for _ in $(seq "$READY_STEPS"); do
    (: </dev/tcp/127.0.0.1/"$BROKER_PORT") 2>/dev/null && broker=yes && break
    sleep 0.1
  done
  [[ -n $broker ]] || echo "run.sh: mosquitto did not start; the demo goes on without it ($work/broker.log)" >&2
fi
echo

last=${KESTREL_NETNS_B_ADDRS##* }
if [[ $mode == window ]]; then
  echo "Simulated devices ready on $KESTREL_NETNS_B to $last, counting on: their settings"
  echo "stay greyed out until Start/Stop switches counting off. In the window, keep the"
  echo "interface $KESTREL_NETNS_A ($KESTREL_NETNS_A_NAME), type $KESTREL_NETNS_B as IP address, keep port 10003"
  echo "and press 接続. Escape or the close box ends the demo."
  "$build/app/KestrelW"
  exit 0
fi

# The shell: the user's own start-up file, then the programs on PATH, their
# completion, a prompt that says where it is, and a scratch folder as the
# working folder (removed at exit). BASH_ENV goes: every bash script the user
# runs would read this again.
dev=$KESTREL_NETNS_B
mkdir "$work/home"
cat >"$work/rc" <<RC
unset BASH_ENV
[[ \$- == *i* && -f ~/.bashrc ]] && source ~/.bashrc
PATH="$build/cli:$build/sim:$build/collector:\$PATH"
source "$root/packaging/kestrelctl.bash"
PS1="(kestrel demo) \\w\\\$ "
cd "$work/home"
RC
echo "Simulated devices on $dev to $last answer broadcasts; kestrelctl, kestrel-collector"
echo "and kestrel-sim are on PATH.${broker:+ mosquitto listens on localhost (user $MQTT_USER, password $MQTT_PASSWORD).}"
echo "  kestrelctl scan                              the devices on the network"
echo "  kestrelctl -a $dev info                   identity and settings"
echo "  kestrelctl -a $dev read --interval 1      counters every second, Ctrl-C ends"
echo "  kestrelctl -a $dev stop; kestrelctl -a $dev apply --input DI3=fall"
echo "  kestrel-collector --scan                     poll them all, Ctrl-C ends"
echo "  exit (or Ctrl-D) leaves this network and ends everything started in it"
echo "Files made here go to $work/home, removed at exit."
# Commands fed on standard input (a script, a test) run without prompts.
if [[ -t 0 ]]; then bash --rcfile "$work/rc" -i || true; else BASH_ENV="$work/rc" bash -s || true; fi
