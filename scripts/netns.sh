#!/usr/bin/env bash
# Runs a command inside a private network namespace: loopback up, plus a veth pair
# with 10.250.0.1/24 so that an interface can broadcast. Nothing sent in there can
# leave the machine. Without root (or without unshare) it says so and runs the
# command as it is, with LC_NO_BROADCAST=1 so that broadcast tests skip themselves.
set -euo pipefail

if [ "$#" -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi

if [ "${LC_IN_NETNS:-}" = 1 ]; then
    exec "$@"
fi

if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null && command -v ip >/dev/null &&
    unshare -n true 2>/dev/null; then
    exec unshare -n env LC_IN_NETNS=1 bash -c '
        set -e
        ip link set lo up
        ip link add v0 type veth peer name v1
        ip addr add 10.250.0.1/24 brd + dev v0
        ip link set v0 up
        ip link set v1 up
        exec "$@"' netns "$@"
fi

echo "netns: cannot make a private network namespace (needs root and unshare);" \
    "running without it and without the broadcast tests" >&2
export LC_NO_BROADCAST=1
exec "$@"
