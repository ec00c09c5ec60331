#!/usr/bin/env bash
# Fails when a folder includes a header from a folder it may not depend on.
# The layers point one way: common at the bottom, then net, then device, and
# the programs (window, command line, simulator) on top. The dialog toolkit
# (framework) and the resources (res) know nothing of the device.
# Usage: scripts/check-layers.sh [source root]   (default: the repository)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

# folder: the folders its code may include besides its own.
declare -A may_use=(
  [common]=""
  [net]="common"
  [device]="net common"
  [framework]=""
  [res]="framework common"
  [ui]="device net common framework res"
  [report]=""
  [cli]="report device net common"
  [collector]="report device net common"
  [sim]="common"
  [app]="ui device net common framework res"
)

# Folders an include may name; tests/ and bench/ sit above everything.
known=" ${!may_use[*]} tests bench "

status=0
for folder in "${!may_use[@]}"; do
  [ -d "$root/$folder" ] || continue
  allowed=" $folder ${may_use[$folder]} "
  # Every root-relative include of a project folder, as file:line:folder.
  while IFS=: read -r file line target; do
    if [[ "$allowed" != *" $target "* && "$known" == *" $target "* ]]; then
      echo "${file#"$root"/}:$line: $folder/ may not include $target/" >&2
      status=1
    fi
  done < <(grep -rnoE '^\s*#\s*include\s+"[a-z]+/' --include='*.h' --include='*.cpp' --include='*.in' \
             "$root/$folder" | sed -E 's/^([^:]+):([0-9]+):.*"([a-z]+)\/$/\1:\2:\3/')
done
if [ "$status" -ne 0 ]; then
  echo "check-layers: an include points to a folder above or beside this one" >&2
fi
exit "$status"
