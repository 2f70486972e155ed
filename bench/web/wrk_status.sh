#!/bin/sh
# Requests per second on "/status" with 1,000 devices: the release node on 127.0.0.1, one bounded
# wrk run (DURATION seconds, CONNS connections, at most the server's pool of 25).
# Usage: bench/web/wrk_status.sh [quillon binary]   (default: the release build's)
set -e
cd "$(dirname "$0")/../.."
QUILLON="${1:-build/release/src/app/quillon}"
DURATION="${DURATION:-10}"
CONNS="${CONNS:-10}"
DEVICES="${DEVICES:-1000}"
for tool in wrk curl python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool: run scripts/install-deps.sh"; exit 2; }
done
TMP="$(mktemp -d)"
NODE_PID=""
cleanup() {
  [ -n "$NODE_PID" ] && kill "$NODE_PID" 2>/dev/null && wait "$NODE_PID" 2>/dev/null || true
  rm -rf "$TMP"
}
trap cleanup EXIT INT TERM
PORT="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
APP="$TMP/app"
mkdir -p "$APP"
cp -r share/. "$APP"/
printf '[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\nStartHub=0\n' > "$APP/Config/ovkXap.ini"
{
  printf '[W800]\nHTTPPort=%s\nDebugLog=0\nMode=1\n[W800Units]\n' "$PORT"
  i=0
  while [ $i -lt "$DEVICES" ]; do
    c=$(printf '%04X' $i)
    printf '%s=%s~2~~False~~06/12/2026 11:00:00~Room %d~%s~False~True~False~0~~Temperature~False~4.7~\n' "$c" "$c" $((i % 40)) "$c"
    i=$((i + 1))
  done
} > "$APP/Config/Quillon.ini"
"$QUILLON" --app-dir "$APP" --headless >"$TMP/node.out" 2>&1 &
NODE_PID=$!
for _ in $(seq 50); do curl -fs "http://127.0.0.1:$PORT/status" -o "$TMP/status" && break; sleep 0.1; done
[ -s "$TMP/status" ] || { echo "the node did not answer on port $PORT"; cat "$TMP/node.out"; exit 1; }
ROWS=$(grep -o "name='Location[0-9][0-9]*'" "$TMP/status" | wc -l)
echo "/status: $ROWS device rows, $(wc -c < "$TMP/status") bytes"
wrk -t1 -c"$CONNS" -d"${DURATION}s" -H "Connection: close" "http://127.0.0.1:$PORT/status"
