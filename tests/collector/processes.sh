# Shared by the collector's end-to-end tests with real servers: the servers,
# collectors and helpers a test starts in the background are remembered in
# `pids` and all ended when the test ends (with sim-session.sh's own
# cleanup of the simulators and the scratch folder).

pids=()

# SIGTERM (after SIGCONT, for one the test stopped), at most 5 s, then SIGKILL.
stop_pid() {
  kill -CONT "$1" 2>/dev/null
  kill -TERM "$1" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

stop_all() {
  for p in "${pids[@]}"; do stop_pid "$p"; done
  stop_sims
  rm -rf "$work"
}
trap stop_all EXIT
