#!/usr/bin/env bash
# Builds the suite and starts lc-simulator, the bundled stand-in for a unit, inside
# a private network namespace; prints what it serves and asks it to identify itself.
# It keeps serving until Ctrl-C; --once stops after the identification.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo

exec scripts/netns.sh bash -c '
    set -euo pipefail
    build/simulator/lc-simulator &
    sim=$!
    trap "kill $sim 2>/dev/null" EXIT
    for _ in $(seq 50); do
        (exec 3<>/dev/tcp/127.0.0.1/9876) 2>/dev/null && break
        sleep 0.1
    done
    exec 3<>/dev/tcp/127.0.0.1/9876
    printf "*IDN?" >&3
    reply=""
    read -r -t 1 -N 200 reply <&3 || true
    echo "demo: the unit identifies itself as: $reply"
    exec 3>&-
    if [ "${1:-}" = --once ]; then exit 0; fi
    echo "demo: serving on 127.0.0.1:9876 until Ctrl-C"
    wait $sim' demo "$@"
