#!/usr/bin/env bash
# Checks the demo entry points as a newcomer meets them on a machine without
# a display: the window's advice names a command that is there to follow,
# and every example of README.md gives in `run.sh --shell` what the README
# shows (tests/doc/readme-examples.py; the rules are in docs/development.md).
# Usage: scripts/demo-test.sh [BUILD_DIR]  (a configured build to reuse, as CI's)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
fail() { echo "demo: FAIL: $*" >&2; exit 1; }
readonly EXAMPLES_TIMEOUT_S=600 # the build, if any, and the examples

set +e
advice=$(env -u DISPLAY -u WAYLAND_DISPLAY bash scripts/run.sh 2>&1 >/dev/null)
status=$?
set -e
[[ $status == 1 && $advice == *"xvfb-run -a bash scripts/run.sh"* && $advice == *"--shell"* ]] ||
  fail "advice without a display: status $status [$advice]"
command -v xvfb-run >/dev/null || fail "the advice names xvfb-run, which is not installed"
command -v mosquitto >/dev/null || fail "the README's MQTT example needs mosquitto (scripts/deps.sh installs it)"

set +e
out=$(KESTREL_RUN_BUILD=${1:-} TZ=UTC timeout "$EXAMPLES_TIMEOUT_S" \
  python3 tests/doc/readme-examples.py README.md -- bash scripts/run.sh --shell 2>&1)
status=$?
set -e
echo "$out"
if ((status == 77)); then
  echo "demo: shell skipped: no network namespace here"
  exit 0
fi
((status == 0)) || fail "README examples in run.sh --shell ended with $status"
for line in "kestrelctl -a 10.77.0.2 info" "kestrelctl scan" "kestrel-collector --scan" "exit (or Ctrl-D)"; do
  [[ $out == *"$line"* ]] || fail "the cheat sheet lacks '$line'"
done
echo "demo: passed"
