#!/usr/bin/env bash
# Checks the demo entry points as a newcomer meets them on a machine without
# a display: the window's advice names a command that is there to follow,
# and `run.sh --shell` gives kestrelctl a simulated device at once, with its
# cheat sheet. Commands are fed to the shell on standard input.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
fail() { echo "demo: FAIL: $*" >&2; exit 1; }

set +e
advice=$(env -u DISPLAY -u WAYLAND_DISPLAY bash scripts/run.sh 2>&1 >/dev/null)
status=$?
set -e
[[ $status == 1 && $advice == *"xvfb-run -a bash scripts/run.sh"* && $advice == *"--shell"* ]] ||
  fail "advice without a display: status $status [$advice]"
command -v xvfb-run >/dev/null || fail "the advice names xvfb-run, which is not installed"

set +e
out=$(printf '%s\n' 'kestrelctl -a 10.77.0.2 info' 'kestrelctl -a 10.77.0.2 read' |
  timeout 600 bash scripts/run.sh --shell 2>&1)
status=$?
set -e
if ((status == 77)); then
  echo "demo: shell skipped: no network namespace here"
  exit 0
fi
((status == 0)) || fail "run.sh --shell ended with $status: $out"
for line in "kestrelctl -a 10.77.0.2 info" "read --interval 1" "apply --input" "exit (or Ctrl-D)"; do
  [[ $out == *"$line"* ]] || fail "the cheat sheet lacks '$line'"
done
[[ $out == *"unit: 0"* && $out == *"time,DI1,DI2"* ]] || fail "kestrelctl in the demo shell: $out"
echo "demo: passed"
