#!/bin/sh
# Bounded load test of the HTTP server on 127.0.0.1 (about 40 s): 200 concurrent clients for 20 s,
# then 100 slow clients holding connections while a normal client fetches pages. Exits non-zero
# when a request hangs, sockets stay open or memory grows without bound.
# Usage: bench/http/load_test.sh [http_load binary]   (default: the release build's)
set -e
cd "$(dirname "$0")/../.."
BIN="${1:-build/release/bench/http/http_load}"
if [ ! -x "$BIN" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target http_load
fi
exec "$BIN"
