#!/usr/bin/env bash
# Builds the suite and runs every test inside a private network namespace, then
# builds and runs them again under AddressSanitizer and UndefinedBehaviorSanitizer.
# --quick skips the sanitizer pass.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# The servers the record tests start are installed now: their absence is a failure.
export LC_REQUIRE_SERVERS=1

# run_suite DIR [LABELS]: LABELS, a regular expression, names the labels left out.
run_suite() {
    scripts/netns.sh bash -c 'skip="$2${LC_NO_BROADCAST:+${2:+|}broadcast}"
        ctest --test-dir "$1" --output-on-failure -j2 ${skip:+-LE "$skip"}' suite "$1" "${2:-}"
}

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite build

if [ "${1:-}" != "--quick" ]; then
    scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DLC_SANITIZE=ON
    # The calibration runs end to end and on random crates take long and time
    # their stops, and the package holds the normal build's binaries; the normal
    # pass runs them.
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_suite build-asan 'calibration-e2e|calibration-crates|package'
fi
echo "test: all passed"
