#!/usr/bin/env bash
# Fails when a folder includes a header from, or links a library of, a folder
# it may not depend on.
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

# The same rule for the link edges: a folder's CMakeLists.txt files may link
# only the project libraries (kestrel_*) of the folders it may use. Each
# library belongs to the folder whose CMakeLists.txt adds it; one added at
# the top (an interface bundle) belongs to the folder of what it links.
declare -A home=()
bundles=()
while IFS=: read -r file lib; do
  rel=${file#"$root"/}
  if [[ $rel == */* ]]; then home[$lib]=${rel%%/*}; else bundles+=("$lib"); fi
done < <(grep -rnoE --include=CMakeLists.txt 'add_library\(kestrel_[a-z0-9_]+' "$root" \
           --exclude-dir=build --exclude-dir=.git | sed -E 's/^([^:]+):[0-9]+:add_library\(/\1:/')
# Every (file, line, linking folder, linked library) of a target_link_libraries
# call, which may span lines; the first name is the target itself.
link_edges() {
  find "$root" -name CMakeLists.txt -not -path "$root/build/*" -not -path "$root/.git/*" -print0 |
    xargs -0 perl -0ne '
      while (/target_link_libraries\(\s*(\S+)([^)]*)\)/g) {
        my ($target, $args, $at) = ($1, $2, $-[0]);
        my $line = 1 + (substr($_, 0, $at) =~ tr/\n//);
        print "$ARGV:$line:$target:$_\n" for ($args =~ /\b(kestrel_[a-z0-9_]+)\b/g);
      }'
}
for lib in "${bundles[@]}"; do
  while IFS=: read -r _ _ target linked; do
    [[ $target == "$lib" && -n ${home[$linked]:-} ]] && home[$lib]=${home[$linked]} && break
  done < <(link_edges | grep -E "^$root/CMakeLists.txt:")
done
link_status=0
while IFS=: read -r file line _ linked; do
  rel=${file#"$root"/}
  [[ $rel == */* ]] || continue
  folder=${rel%%/*}
  [[ -n ${may_use[$folder]+x} && -n ${home[$linked]:-} ]] || continue
  allowed=" $folder ${may_use[$folder]} "
  if [[ "$allowed" != *" ${home[$linked]} "* ]]; then
    echo "$rel:$line: $folder/ may not link $linked (${home[$linked]}/)" >&2
    link_status=1
  fi
done < <(link_edges)
if [ "$link_status" -ne 0 ]; then
  echo "check-layers: a library links one of a folder above or beside its own" >&2
  status=1
fi
exit "$status"
