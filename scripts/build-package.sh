#!/bin/sh
# Builds the Debian package quillon_<version>_<arch>.deb: a release build of the programs alone
# (no tests, no benchmarks) in build/package, or the folder given, then CPack.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
BUILD="${1:-build/package}"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF -DQUILLON_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"${JOBS:-$(nproc)}"
cd "$BUILD" && cpack -G DEB
