#!/usr/bin/env bash
# Runs every fuzz target for a long time, by hand (not in CI): one hour each
# unless a number of seconds is given. The corpus grows in build/fuzz/corpus/
# and carries over to later runs; the summary lists the executions each
# target ran clean.
#
#   bash scripts/fuzz-long.sh          # 3600 s per target
#   bash scripts/fuzz-long.sh 600
set -euo pipefail
exec bash "$(dirname "$0")/fuzz.sh" "${1:-3600}"
