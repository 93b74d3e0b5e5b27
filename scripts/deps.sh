#!/usr/bin/env bash
# Installs the Debian packages the suite builds and runs with, when any is missing.
set -euo pipefail

packages=(g++ cmake make qtbase5-dev qtbase5-dev-tools libqcustomplot-dev xvfb xauth
    imagemagick iproute2 util-linux python3-pyvisa python3-pyvisa-py
    python3 openssh-client openssh-server putty-tools nginx-light
    dpkg-dev desktop-file-utils appstream xdotool)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

echo "deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null; then
    sudo=(sudo)
else
    echo "deps: missing packages and no root rights: ${missing[*]}" >&2
    exit 1
fi
"${sudo[@]}" apt-get update -qq
# Installing a server must not start it on this machine: the tests start their
# own inside a private network namespace.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
    "${sudo[@]}" chmod 755 "$policy"
    trap '"${sudo[@]}" rm -f "$policy"' EXIT
fi
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
