#!/usr/bin/env bash
# Builds the Debian package from a finished Linux build, checks it with
# lintian, installs it with apt-get, runs what it installed (the tool, the
# simulator, the window on a private X display, each inside a private network
# namespace) and removes it again, checking that none of its files is left.
# Needs root or sudo, as apt-get does.
#
#   bash scripts/package-test.sh [BUILD_DIR]     # default build/ci
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${1:-build/ci}"

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

echo "== Debian package =="
rm -f "$build"/kestrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/kestrel_*_amd64.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "built $deb"
# The window has no command line to draw a manual page from, so its missing
# page is the one warning kept; any other warning or error fails.
set +e
report=$(lintian --fail-on error,warning --suppress-tags no-manual-page "$deb" 2>&1)
status=$?
set -e
grep -v 'running with root privileges' <<<"$report" || true
((status == 0)) || fail "lintian reports errors or warnings"

if dpkg-query -W -f='${Status}' kestrel 2>/dev/null | grep -q 'ok installed'; then
  apt remove kestrel
fi
echo "installing $deb with apt-get"
apt install "$(realpath "$deb")"
# A failed check below must not leave the package on the machine.
trap 'apt remove kestrel' EXIT

[[ $(kestrelctl --version) == "kestrelctl $version" ]] || fail "kestrelctl --version: $(kestrelctl --version)"
[[ $(kestrel-sim --version) == "kestrel-sim $version" ]] || fail "kestrel-sim --version"
for page in kestrelctl kestrel-sim; do
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
# The collector's status page and the chart library it is served with.
for f in /usr/share/kestrel/web/index.html /usr/share/kestrel/web/device.js \
  /usr/share/javascript/chart.js/chart.min.js; do
  [[ -f $f ]] || fail "no $f"
done

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
echo "installed programs run: version $version, manual pages, completion, window"

trap - EXIT
apt remove kestrel
mapfile -t files < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
left=()
for f in "${files[@]}"; do [[ ! -e $f ]] || left+=("$f"); done
((${#left[@]} == 0)) || fail "left after apt-get remove: ${left[*]}"
[[ ! -e /usr/share/doc/kestrel ]] || fail "left after apt-get remove: /usr/share/doc/kestrel"
echo "package: passed (${#files[@]} files installed and removed)"
