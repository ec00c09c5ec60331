# Shared by the shell tests that run kestrelctl against kestrel-sim inside the
# private network of with-veth.sh. Source it after setting:
#   SIM   the kestrel-sim executable
#   DEV   the address the simulator binds to
#   work  a scratch folder (sim.out holds the ready line, sim.log the traffic log)
# It provides fail (counts in $failures), start_sim, stop_sim and
# connections_all_closed, and removes the scratch folder on exit.

sim_pid=""
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

stop_sim() {
  [[ -n $sim_pid ]] || return 0
  kill -TERM "$sim_pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  sim_pid=""
}
trap 'stop_sim; rm -rf "$work"' EXIT

start_sim() { # simulator options...
  stop_sim
  : >"$work/sim.out"
  : >"$work/sim.log"
  "$SIM" --bind "$DEV" --verbose "$@" >"$work/sim.out" 2>"$work/sim.log" &
  sim_pid=$!
  for _ in $(seq 50); do grep -q ready "$work/sim.out" && return 0; sleep 0.1; done
  fail "simulator not ready with: $*"
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
