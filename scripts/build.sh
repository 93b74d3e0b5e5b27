#!/usr/bin/env bash
# build.sh DIR [CMAKE ARGS...]: configures and builds the whole suite in DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
cmake -S . -B "$dir" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
