#!/bin/sh
# Speed of the node's HTTP server next to nginx, in the same run, both on 127.0.0.1 and serving
# the same bytes: the "/status" page, a 100 KB picture and a 1 MB file, each once on kept
# connections and once with "Connection: close" on every request. nginx runs with one worker, as
# the node has one thread, from a temporary root on its own port; both are stopped at the end.
# Each wrk run is bounded: DURATION seconds, CONNS connections for "/status" and FILE_CONNS for
# the files (both within the node's MaxConnections of 64).
# Usage: bench/http/wrk_bench.sh [quillon binary]   (default: the release build's)
set -e
cd "$(dirname "$0")/../.."
QUILLON="${1:-build/release/src/app/quillon}"
DURATION="${DURATION:-10}"
CONNS="${CONNS:-50}"
FILE_CONNS="${FILE_CONNS:-20}"
for tool in wrk nginx curl python3; do
  command -v "$tool" >/dev/null 2>&1 || [ -x "/usr/sbin/$tool" ] || { echo "missing $tool: run scripts/install-deps.sh"; exit 2; }
done
NGINX="$(command -v nginx || echo /usr/sbin/nginx)"
if [ ! -x "$QUILLON" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target quillon quillon-vbs
fi

TMP="$(mktemp -d)"
chmod 755 "$TMP"  # nginx's worker runs as another user when started by root
NODE_PID=""
NGINX_PID=""
cleanup() {
  [ -n "$NODE_PID" ] && kill "$NODE_PID" 2>/dev/null && wait "$NODE_PID" 2>/dev/null || true
  [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null || true
  rm -rf "$TMP"
}
trap cleanup EXIT INT TERM
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
NODE_PORT="$(free_port)"
NGINX_PORT="$(free_port)"

APP="$TMP/app"
mkdir -p "$APP" "$TMP/www"
cp -r share/. "$APP"/
sed -i "s/^HTTPPort=.*/HTTPPort=$NODE_PORT/; s/^DebugLog=.*/DebugLog=0/" "$APP/Config/Quillon.ini"
sed -i "s/^StartHub=.*/StartHub=0/" "$APP/Config/ovkXap.ini"
head -c 102400 /dev/urandom > "$APP/HTML/pic100k.png"
head -c 1048576 /dev/urandom > "$APP/HTML/file1m.pdf"
cp "$APP/HTML/pic100k.png" "$APP/HTML/file1m.pdf" "$TMP/www/"

"$QUILLON" --app-dir "$APP" --headless >"$TMP/node.out" 2>&1 &
NODE_PID=$!
for _ in $(seq 50); do curl -fs "http://127.0.0.1:$NODE_PORT/status" -o "$TMP/www/status" && break; sleep 0.1; done
[ -s "$TMP/www/status" ] || { echo "the node did not answer on port $NODE_PORT"; cat "$TMP/node.out"; exit 1; }

cat > "$TMP/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $TMP/nginx.pid;
error_log $TMP/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  default_type application/octet-stream;
  types { image/png png; application/pdf pdf; }
  server {
    listen 127.0.0.1:$NGINX_PORT;
    root $TMP/www;
    location = /status { default_type text/html; }
  }
}
CONF
"$NGINX" -c "$TMP/nginx.conf" -p "$TMP" &
NGINX_PID=$!
for _ in $(seq 50); do curl -fs "http://127.0.0.1:$NGINX_PORT/status" -o /dev/null && break; sleep 0.1; done
# Both must serve every path with status 200 and the same bytes, or the figures mean nothing.
for path in /status /pic100k.png /file1m.pdf; do
  for port in "$NODE_PORT" "$NGINX_PORT"; do
    code="$(curl -s -o "$TMP/check" -w '%{http_code}' "http://127.0.0.1:$port$path")"
    [ "$code" = 200 ] && cmp -s "$TMP/check" "$TMP/www/${path#/}" ||
      { echo "port $port answers $path with status $code or other bytes"; cat "$TMP/nginx-error.log" 2>/dev/null; exit 1; }
  done
done

# wrk's "Requests/sec" and "Transfer/sec" (in MB/s) of one run; its error lines go to $TMP/errors.
# $4 is "close" for a new connection per request, "keep" for kept connections.
measure() {
  if [ "$4" = close ]; then set -- "$1" "$2" "$3" -H "Connection: close"; else set -- "$1" "$2" "$3"; fi
  url="$1"; conns="$2"; who="$3"; shift 3
  wrk -t1 -c"$conns" -d"${DURATION}s" "$@" "$url" > "$TMP/wrk.out" 2>&1 || true
  grep -E 'Socket errors|Non-2xx' "$TMP/wrk.out" | sed "s/^ */             $who: /" >> "$TMP/errors" || true
  awk '/Requests\/sec/ {r=$2}
       /Transfer\/sec/ {v=$2; u=v; gsub(/[0-9.]/, "", u); gsub(/[A-Za-z]/, "", v);
                        m = (u=="GB") ? v*1024 : (u=="MB") ? v : (u=="KB") ? v/1024 : v/1048576}
       END {printf "%s %.2f", r, m}' "$TMP/wrk.out"
}

printf '%-12s %-6s %14s %12s %14s %12s %8s\n' path conn "node req/s" "node MB/s" "nginx req/s" "nginx MB/s" "ratio"
for path in /status /pic100k.png /file1m.pdf; do
  for mode in keep close; do
    conns="$FILE_CONNS"; [ "$path" = /status ] && conns="$CONNS"
    : > "$TMP/errors"
    set -- $(measure "http://127.0.0.1:$NODE_PORT$path" "$conns" node "$mode"); nr=$1; nm=$2
    set -- $(measure "http://127.0.0.1:$NGINX_PORT$path" "$conns" nginx "$mode"); gr=$1; gm=$2
    printf '%-12s %-6s %14s %12s %14s %12s %8s\n' "$path" "$mode" "$nr" "$nm" "$gr" "$gm" \
      "$(awk -v a="$nr" -v b="$gr" 'BEGIN {printf "%.2f", (b > 0) ? a / b : 0}')"
    cat "$TMP/errors"
  done
done
kill -0 "$NODE_PID" 2>/dev/null && echo "node still running after the runs" || { echo "the node stopped during the runs"; exit 1; }
