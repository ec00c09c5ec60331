# kestrel-sim for the shell tests, started the way the C++ tests start it:
# bound to an address, its traffic log on, its ready line awaited (at most
# 5 s), stopped with SIGTERM and, after at most 5 s more, SIGKILL. Used
# inside the private network of tests/netns/with-veth.sh. Source it after
# setting:
#   SIM   the kestrel-sim executable
#   DEV   the address of the device under test
#   work  a scratch folder (NAME.out holds a simulator's ready line, NAME.log
#         its traffic log; the device under test is named "sim")
# It provides fail (counts in $failures), start_sim, start_sim_at, stop_sim,
# stop_sims and connections_all_closed, keeps each simulator's process id
# in sim_pids[NAME], and on exit stops them all and removes the scratch folder.

declare -A sim_pids=()
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

stop_sim() { # [name], the device under test by default
  local name=${1:-sim}
  local pid=${sim_pids[$name]:-}
  [[ -n $pid ]] || return 0
  kill -CONT "$pid" 2>/dev/null # one the test has stopped
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  unset "sim_pids[$name]"
}

stop_sims() {
  local name
  for name in "${!sim_pids[@]}"; do stop_sim "$name"; done
}
trap 'stop_sims; rm -rf "$work"' EXIT

# Starts the simulator NAME on ADDRESS, after stopping the one of that name.
start_sim_at() { # name address [simulator options...]
  local name=$1 address=$2
  shift 2
  stop_sim "$name"
  # Emptied here, not only by the redirections below: those happen in the
  # background, and the wait must not find the previous ready line.
  : >"$work/$name.out"
  : >"$work/$name.log"
  "$SIM" --bind "$address" --verbose "$@" >"$work/$name.out" 2>"$work/$name.log" &
  sim_pids[$name]=$!
  for _ in $(seq 50); do grep -q ready "$work/$name.out" && return 0; sleep 0.1; done
  fail "simulator $name not ready with: $*"
}

# The device under test, on $DEV.
start_sim() { # [simulator options...]
  start_sim_at sim "$DEV" "$@"
}

# True once every connection the simulator logged has been closed again; the
# close may be logged a moment after the tool has ended, so it waits up to 2 s.
connections_all_closed() {
  local opened closed
  for _ in $(seq 20); do
    opened=$(grep -c -- '-- connected from' "$work/sim.log")
    closed=$(grep -c -- '-- closed' "$work/sim.log")
    [[ $opened == "$closed" ]] && return 0
    sleep 0.1
  done
  echo "$opened connections opened, $closed closed" >&2
  return 1
}

# kestrelctl follows each Japanese operator text with one line in English.
# Prints the messages of the file given without those lines; fails when a
# Japanese line lacks its English line.
without_hints() { # file
  LC_ALL=C awk '
    hint { hint = 0; if ($0 ~ /^[ -~]+$/) next; bad = 1; exit }
    /[\200-\377]/ { hint = 1 }
    { print }
    END { exit (bad || hint) }' "$1"
}
