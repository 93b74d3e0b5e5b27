#!/usr/bin/env bash
# Builds the suite and its Debian package: build/lumicrate_<version>_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cd build
cpack -G DEB
