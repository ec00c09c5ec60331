#!/usr/bin/env bash
# Runs a command inside a small private network: lo brought up, plus a veth
# pair whose two ends both live in the current network namespace. Tests use it
# to give the tool and the device simulator real interfaces without touching
# the machine's own network.
#
# Usage:
#   unshare -rn tests/netns/with-veth.sh [options] -- command [args...]
#   tests/netns/with-veth.sh --unshare [options] -- command [args...]
#
# Options:
#   --unshare            enter a new user and network namespace first
#                        (unshare -rn); exits 77 when that is not possible
#                        here, so CTest can mark the test skipped
#   --loopback-only      bring up lo only, make no veth pair
#   --a ADDR/LEN         address of the first end  (default 10.77.0.1/24)
#   --b ADDR/LEN         address of the second end (default 10.77.0.2/24)
#   --a-extra ADDR/LEN   one more address on the first end (repeatable)
#   --b-extra ADDR/LEN   one more address on the second end (repeatable)
#   --lo-extra ADDR/LEN  one more address on lo, e.g. 127.0.0.2/8 (repeatable)
#   --a-name NAME        name of the first end  (default veth0)
#   --b-name NAME        name of the second end (default veth1)
#   --a-index N          interface index of the first end  (default 10)
#   --b-index N          interface index of the second end (default 11)
#
# The default indexes are deliberately sparse (lo is 1), as on real machines.
#
# The command runs with these variables set (addresses without /LEN; the
# *_ADDRS lists are space-separated, the main address first):
#   KESTREL_NETNS          "veth" or "loopback"
#   KESTREL_NETNS_A        main address of the first end (empty for loopback)
#   KESTREL_NETNS_B        main address of the second end
#   KESTREL_NETNS_A_NAME   KESTREL_NETNS_B_NAME
#   KESTREL_NETNS_A_ADDRS  KESTREL_NETNS_B_ADDRS  KESTREL_NETNS_LO_ADDRS
#
# Example: the simulator on the second end; the tool, bound to the first
# end, then talks to $KESTREL_NETNS_B:
#   tests/netns/with-veth.sh --unshare -- sh -c \
#     'kestrel-sim --bind "$KESTREL_NETNS_B" & ...; kill $!'
#
# Both ends share one namespace, so traffic between them is delivered locally;
# what the tests need is real, separately addressed interfaces to bind to.
#
# As a guard against changing the host's network, the script refuses to run
# when the namespace has any interface besides lo.
set -euo pipefail

readonly SKIP=77
readonly UP_WAIT_STEPS=50 # x 0.1 s

die() {
  echo "with-veth: $*" >&2
  exit 2
}

mode=veth
enter=no
a_addr=10.77.0.1/24
b_addr=10.77.0.2/24
a_name=veth0
b_name=veth1
a_index=10
b_index=11
a_extra=()
b_extra=()
lo_extra=()
original_args=("$@")

while (($# > 0)); do
  case "$1" in
    --unshare) enter=yes ;;
    --loopback-only) mode=loopback ;;
    --a) a_addr=${2:?--a needs ADDR/LEN}; shift ;;
    --b) b_addr=${2:?--b needs ADDR/LEN}; shift ;;
    --a-extra) a_extra+=("${2:?--a-extra needs ADDR/LEN}"); shift ;;
    --b-extra) b_extra+=("${2:?--b-extra needs ADDR/LEN}"); shift ;;
    --lo-extra) lo_extra+=("${2:?--lo-extra needs ADDR/LEN}"); shift ;;
    --a-name) a_name=${2:?--a-name needs NAME}; shift ;;
    --b-name) b_name=${2:?--b-name needs NAME}; shift ;;
    --a-index) a_index=${2:?--a-index needs N}; shift ;;
    --b-index) b_index=${2:?--b-index needs N}; shift ;;
    --) shift; break ;;
    *) die "unknown option '$1' (see the top of $0)" ;;
  esac
  shift
done
(($# > 0)) || die "no command given after --"

if [[ $enter == yes ]]; then
  if ! unshare -rn true 2>/dev/null; then
    echo "with-veth: skipped: cannot create a network namespace here (unshare -rn failed)" >&2
    exit "$SKIP"
  fi
  # The same options again, minus --unshare, inside the new namespace.
  inner=()
  for arg in "${original_args[@]:0:${#original_args[@]}-$#-1}"; do
    [[ $arg == --unshare ]] || inner+=("$arg")
  done
  exec unshare -rn bash "$0" "${inner[@]}" -- "$@"
fi

if ! command -v ip >/dev/null; then
  echo "with-veth: skipped: the ip command (iproute2) is not installed" >&2
  exit "$SKIP"
fi

others=$(ip -o link show | awk -F': ' '$2 != "lo" { print $2 }')
[[ -z $others ]] || die "refusing to run: this namespace already has interfaces besides lo" \
  "($(echo "$others" | tr '\n' ' ')); start it with unshare -rn or --unshare"

strip_len() {
  local out=() item
  for item in "$@"; do out+=("${item%%/*}"); done
  echo "${out[*]}"
}

ip link set lo up
for address in "${lo_extra[@]}"; do ip addr add "$address" dev lo; done
export KESTREL_NETNS_LO_ADDRS
KESTREL_NETNS_LO_ADDRS=$(strip_len 127.0.0.1/8 "${lo_extra[@]}")

if [[ $mode == loopback ]]; then
  export KESTREL_NETNS=loopback KESTREL_NETNS_A="" KESTREL_NETNS_B=""
  export KESTREL_NETNS_A_NAME="" KESTREL_NETNS_B_NAME="" KESTREL_NETNS_A_ADDRS="" KESTREL_NETNS_B_ADDRS=""
  exec "$@"
fi

ip link add "$a_name" index "$a_index" type veth peer name "$b_name" index "$b_index"
ip addr add "$a_addr" dev "$a_name"
for address in "${a_extra[@]}"; do ip addr add "$address" dev "$a_name"; done
ip addr add "$b_addr" dev "$b_name"
for address in "${b_extra[@]}"; do ip addr add "$address" dev "$b_name"; done
ip link set "$a_name" up
ip link set "$b_name" up

# The kernel marks a link running shortly after both ends are up; wait for it
# so the command sees usable interfaces from its first look.
for ((step = 0; step < UP_WAIT_STEPS; step++)); do
  if ip -o link show dev "$a_name" | grep -q 'state UP' &&
    ip -o link show dev "$b_name" | grep -q 'state UP'; then
    break
  fi
  sleep 0.1
done
((step < UP_WAIT_STEPS)) || die "the veth pair did not come up within $((UP_WAIT_STEPS / 10)) s"

export KESTREL_NETNS=veth
export KESTREL_NETNS_A_NAME=$a_name KESTREL_NETNS_B_NAME=$b_name
export KESTREL_NETNS_A=${a_addr%%/*} KESTREL_NETNS_B=${b_addr%%/*}
export KESTREL_NETNS_A_ADDRS KESTREL_NETNS_B_ADDRS
KESTREL_NETNS_A_ADDRS=$(strip_len "$a_addr" "${a_extra[@]}")
KESTREL_NETNS_B_ADDRS=$(strip_len "$b_addr" "${b_extra[@]}")
exec "$@"
