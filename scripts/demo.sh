#!/usr/bin/env bash
# Builds the suite and runs one of its programs against lc-simulator, the bundled
# stand-in for a unit, inside a private network namespace (the programs broadcast
# a discovery when their window opens). The window finds the simulator by itself.
#
#   ./scripts/demo.sh [measurer|sismeasurer|calibration|simulator]     (default: measurer)
#
# With a display the program runs until its window is closed. Without one it runs
# under Xvfb for a while and leaves a screenshot in build/demo-<program>.png.
# "simulator" starts only the simulator and asks it to identify itself.
set -euo pipefail
cd "$(dirname "$0")/.."

program=${1:-measurer}
case "$program" in
measurer | sismeasurer | calibration | simulator) ;;
*)
    echo "usage: $0 [measurer|sismeasurer|calibration|simulator]" >&2
    exit 2
    ;;
esac

scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo

exec scripts/netns.sh bash -c '
    set -euo pipefail
    program=$1
    build/simulator/lc-simulator &
    sim=$!
    cleanup() { kill $(jobs -p) 2>/dev/null || true; }
    trap cleanup EXIT
    for _ in $(seq 50); do
        (exec 3<>/dev/tcp/127.0.0.1/9876) 2>/dev/null && break
        sleep 0.1
    done
    exec 3<>/dev/tcp/127.0.0.1/9876
    printf "*IDN?" >&3
    reply=""
    read -r -t 1 -N 200 reply <&3 || true
    exec 3>&-
    echo "demo: the unit identifies itself as: $reply"

    if [ "$program" = simulator ]; then
        echo "demo: serving on 127.0.0.1:9876 until Ctrl-C"
        wait $sim
        exit 0
    fi

    name=lc-$program
    [ "$program" = calibration ] && name=lc-devcalibration
    binary=build/$program/$name
    if [ -n "${DISPLAY:-}" ]; then
        echo "demo: starting $name; close its window to end the demo"
        "$binary"
        exit 0
    fi

    shot=build/demo-$program.png
    echo "demo: no display, running $name under Xvfb for 15 s"
    Xvfb :77 -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
    sleep 1
    DISPLAY=:77 "$binary" &
    app=$!
    sleep 15
    DISPLAY=:77 /usr/bin/import -window root "$shot"
    kill $app
    echo "demo: screenshot of the window: $shot"' demo "$program"
