#!/bin/sh
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs all tests.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$(nproc)"
ctest --preset asan -j"$(nproc)"
