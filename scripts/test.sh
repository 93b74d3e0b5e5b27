#!/usr/bin/env bash
# Builds the suite and runs every test inside a private network namespace, then
# builds and runs them again under AddressSanitizer and UndefinedBehaviorSanitizer.
# --quick skips the sanitizer pass.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# The servers the record tests start are installed now: their absence is a failure.
export LC_REQUIRE_SERVERS=1

run_suite() {
    scripts/netns.sh bash -c 'ctest --test-dir "$1" --output-on-failure -j2 ${LC_NO_BROADCAST:+-LE broadcast}' \
        suite "$1"
}

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite build

if [ "${1:-}" != "--quick" ]; then
    scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DLC_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_suite build-asan
fi
echo "test: all passed"
