#!/usr/bin/env bash
# Builds the Debian package the Debian way (dpkg-buildpackage with debhelper,
# from a copy of the source tree, warnings as errors), checks it with lintian
# --pedantic, installs it with apt-get as an upgrade of an older build, checks
# the service's unit with systemd-analyze verify, runs what it installed (the
# tool, the simulator, the window, the collector as its service starts it and
# as configured from the installed example, each inside a private network
# namespace), then removes and purges it, checking that nothing is left.
# Needs root or sudo, as apt-get does.
#
#   bash scripts/package-test.sh [WORK_DIR]     # default build/deb-src
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
work="$(realpath -m "${1:-build/deb-src}")"

bash scripts/deps.sh lintian man-db x11-utils
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
# Quiet: dpkg's progress and debconf's note that apt-utils is missing.
apt() {
  local log status=0
  log=$(mktemp)
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -y -qq -o=Dpkg::Use-Pty=0 "$@" >/dev/null 2>"$log" ||
    status=$?
  grep -v '^debconf: delaying package configuration' "$log" >&2 || true
  rm -f "$log"
  return "$status"
}
fail() { echo "package: FAIL: $*" >&2; exit 1; }
unit=/lib/systemd/system/kestrel-collector.service
wants=/etc/systemd/system/multi-user.target.wants/kestrel-collector.service
config=/etc/kestrel/collector.toml

echo "== Debian package: dpkg-buildpackage =="
# dpkg-buildpackage writes next to the source folder: a copy of the tracked
# and new files keeps the .deb and debhelper's files out of the work tree.
rm -rf "$work"
mkdir -p "$work/kestrel"
git ls-files -z --cached --others --exclude-standard | tar --null -T - --ignore-failed-read -cf - 2>/dev/null |
  tar -xf - -C "$work/kestrel"
started=$SECONDS
# Without the tests and the debug symbols package: the tests ran in the
# normal build, and this is about the package.
if ! (cd "$work/kestrel" &&
      DEB_BUILD_OPTIONS="nocheck noautodbgsym parallel=$(nproc)" dpkg-buildpackage -us -uc -b) \
     >"$work/build.log" 2>&1; then
  tail -40 "$work/build.log" >&2
  fail "dpkg-buildpackage (whole log: $work/build.log)"
fi
deb=$(ls "$work"/kestrel_*_amd64.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "built $deb in $((SECONDS - started)) s"

# Errors, warnings and pedantic notes all fail; the overrides, each with its
# reason, are in debian/kestrel.lintian-overrides.
set +e
report=$(lintian --pedantic --fail-on error,warning,pedantic "$work"/kestrel_*_amd64.changes 2>&1)
status=$?
set -e
grep -v 'running with root privileges' <<<"$report" || true
((status == 0)) || fail "lintian --pedantic reports problems"
echo "lintian --pedantic: clean (overrides: debian/kestrel.lintian-overrides)"

# The older build: the same package with a lower version, so that the new
# one goes in as an upgrade, with maintainer scripts as an upgrade runs them.
dpkg-deb -R "$deb" "$work/previous"
sed -i "s/^Version: .*/Version: ${version}~previous/" "$work/previous/DEBIAN/control"
dpkg-deb --root-owner-group -b "$work/previous" "$work/kestrel_${version}~previous_amd64.deb" >/dev/null
# Installed or only its configuration left: gone, for a clean start.
if dpkg -s kestrel >/dev/null 2>&1; then apt purge kestrel; fi
# A failed check below must not leave the package on the machine.
trap 'apt purge kestrel' EXIT
echo "installing the older build ${version}~previous, then $version over it, with apt-get"
apt install "$work/kestrel_${version}~previous_amd64.deb"
getent passwd kestrel >/dev/null || fail "no system user kestrel after installing"
[[ -L $wants ]] || fail "the collector's service is not enabled: no $wants"
# The administrator's change to the configuration survives the upgrade.
echo '# changed here' | $SUDO tee -a "$config" >/dev/null
apt install "$deb"
[[ $(dpkg-query -W -f='${Version}' kestrel) == "$version" ]] || fail "not upgraded to $version"
[[ $(tail -1 "$config") == '# changed here' ]] || fail "the upgrade replaced the changed $config"
[[ -L $wants ]] || fail "the service is no longer enabled after the upgrade"
$SUDO sed -i '$d' "$config"

# The unit as systemd would load it (no systemd needs to run for this): its
# programs, its settings, its manual page.
(cd / && systemd-analyze verify "$unit") || fail "systemd-analyze verify $unit"

[[ $(kestrelctl --version) == "kestrelctl $version" ]] || fail "kestrelctl --version: $(kestrelctl --version)"
[[ $(kestrel-sim --version) == "kestrel-sim $version" ]] || fail "kestrel-sim --version"
for page in kestrelctl kestrel-sim kestrel-collector; do
  man -w "$page" >/dev/null || fail "no manual page for $page"
done
# Completion as bash offers it after "kestrelctl " and "kestrelctl read --".
completions() {
  bash -c 'source /usr/share/bash-completion/completions/kestrelctl
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _kestrelctl; echo "${COMPREPLY[*]}"' _ "$@"
}
[[ $(completions kestrelctl "") == *read* ]] || fail "completion of the commands"
[[ $(completions kestrelctl read --) == *--interval* ]] || fail "completion of read's options"
for size in 16 32 48 256; do
  [[ -f /usr/share/icons/hicolor/${size}x${size}/apps/kestrel.png ]] || fail "no ${size}x$size icon"
done
[[ -f /usr/share/applications/kestrelw.desktop ]] || fail "no desktop entry"
# The collector's status page and the chart library it is served with, and
# the documents and examples the unit and collector-outputs.md name.
doc=/usr/share/doc/kestrel
for f in /usr/share/kestrel/web/index.html /usr/share/kestrel/web/device.js \
  /usr/share/javascript/chart.js/chart.min.js $doc/collector.md $doc/collector-outputs.md; do
  [[ -f $f ]] || fail "no $f"
done
# Each example file collector-outputs.md lists is beside it, or where its
# row says it is installed.
examples=$(sed -n '/^## Examples in this folder/,/^## /s/^| `\([^`]*\)` | \(installed as `\([^`]*\)`\)\{0,1\}.*/\1 \3/p' \
  $doc/collector-outputs.md)
[[ -n $examples ]] || fail "collector-outputs.md lists no example"
while read -r example installed_as; do
  [[ -f ${installed_as:-$doc/$example} ]] || fail "collector-outputs.md lists $example, not installed"
done <<<"$examples"

# Loopback only: the tool must say, in English too, why nothing is usable.
set +e
err=$(unshare -rn bash -c 'ip link set lo up && kestrelctl -a 127.0.0.1 read' 2>&1)
status=$?
set -e
[[ $status == 1 && $err == *loopback* && $err == *--interface* ]] ||
  fail "loopback only: status $status, [$err]"

# The installed simulator and tool across a veth pair.
bash tests/netns/with-veth.sh --unshare -- bash -c '
  kestrel-sim --bind "$KESTREL_NETNS_B" >/dev/null &
  trap "kill $!" EXIT
  for _ in $(seq 50); do kestrelctl -a "$KESTREL_NETNS_B" info >/dev/null 2>&1 && exit 0; sleep 0.1; done
  exit 1' || fail "kestrelctl info against kestrel-sim"

# The collector as its service starts it (the unit's command line, its user,
# the options of /etc/default), with the configuration as installed: it says
# that nothing is configured yet and ends with 0, so systemd does not start
# it again and again. It ends before it touches the network or its folders.
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
KESTREL_COLLECTOR_OPTS=""
source /etc/default/kestrel-collector
read -ra command <<<"${exec_start/\$KESTREL_COLLECTOR_OPTS/$KESTREL_COLLECTOR_OPTS}"
set +e
err=$(timeout 10 $SUDO runuser -u kestrel -- "${command[@]}" 2>&1 >/dev/null)
status=$?
set -e
[[ $status == 0 && $err == *"nothing configured yet: $config lists no device"* &&
   $err == *"systemctl restart kestrel-collector"* ]] ||
  fail "the service with the installed configuration: status $status, [$err]"

# The collector configured from the installed example: its [[device]] table
# taken in, pointed at the installed simulator.
sed -e '/^#\[\[device\]\]/,$ s/^#//' "$config" >"$work/collector.toml"
bash tests/netns/with-veth.sh --unshare -- bash -c '
  sed -i "s/^address = .*/address = \"$KESTREL_NETNS_B\"/" "$1/collector.toml"
  kestrel-sim --bind "$KESTREL_NETNS_B" >/dev/null &
  sim=$!
  kestrel-collector --config "$1/collector.toml" --store "$1/counts.db" >"$1/collector.jsonl" 2>"$1/collector.err" &
  collector=$!
  trap "kill $sim $collector 2>/dev/null" EXIT
  for _ in $(seq 100); do
    (($(grep -c "\"type\":\"sample\",.*\"device\":\"press-1\"" "$1/collector.jsonl") >= 2)) && break
    sleep 0.1
  done
  kill -TERM $collector
  wait $collector' _ "$work" ||
  fail "kestrel-collector with the example configuration: $(cat "$work/collector.err")"
(($(grep -c '"type":"sample",.*"device":"press-1"' "$work/collector.jsonl") >= 2)) ||
  fail "kestrel-collector with the example configuration: no samples of press-1: $(cat "$work/collector.err")"

# The installed window on a private X display: its main window must appear,
# alone (a message box, such as the one for no usable interface, would be a
# second window of the program), and the program must keep running.
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" bash tests/netns/with-veth.sh --unshare -- bash -c '
  windows() { xwininfo -root -tree 2>/dev/null | grep -c "(\"KestrelW\" \"KestrelW\")"; }
  env -u QT_QPA_PLATFORM KestrelW >/dev/null 2>&1 &
  app=$!
  trap "kill $app 2>/dev/null" EXIT
  for _ in $(seq 100); do (($(windows) > 0)) && break; sleep 0.1; done
  sleep 1
  [[ $(windows) == 1 ]] && kill -0 $app' || fail "the installed KestrelW did not show its window alone"
echo "installed programs run: version $version, manual pages, completion, window, collector"

# Removed, the programs go and the configuration stays (Debian keeps it
# until a purge); purged, nothing is left: no file, no configuration, no
# enabled service, no state.
trap - EXIT
apt remove kestrel
mapfile -t files < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
left=()
for f in "${files[@]}"; do [[ ! -e $f || $f == /etc/* ]] || left+=("$f"); done
((${#left[@]} == 0)) || fail "left after apt-get remove: ${left[*]}"
[[ -f $config ]] || fail "apt-get remove took $config (only a purge does)"
apt purge kestrel
for f in "${files[@]}" "$wants" /etc/kestrel /usr/share/doc/kestrel /var/lib/kestrel /var/lib/kestrel-collector; do
  [[ ! -e $f && ! -L $f ]] || left+=("$f")
done
((${#left[@]} == 0)) || fail "left after apt-get purge: ${left[*]}"
echo "package: passed (${#files[@]} files installed, upgraded, removed and purged)"
