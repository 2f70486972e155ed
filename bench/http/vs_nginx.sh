#!/bin/sh
# The node's HTTP server next to nginx in one run, on 127.0.0.1, serving the same bytes:
#   - a small answer (the 1.8 KB stylesheet) with keep-alive and with "Connection: close";
#   - "/status" with 1,000 devices, 50 connections, keep-alive, with and without gzip accepted
#     (nginx serves a copy of the page, gzip on for text);
#   - a 1 MB file to 50 clients;
#   - the node's memory: 200 idle keep-alive connections, and 50 clients reading the status page
#     at 10 KB/s.
# nginx runs with one worker, as the node has one thread. Every wrk run lasts DURATION seconds;
# both servers are stopped at the end.
# Usage: bench/http/vs_nginx.sh [quillon binary]   (default: the release build's)
set -e
cd "$(dirname "$0")/../.."
QUILLON="${1:-build/release/src/app/quillon}"
DURATION="${DURATION:-8}"
DEVICES="${DEVICES:-1000}"
for tool in wrk curl python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool: run scripts/install-deps.sh"; exit 2; }
done
NGINX="$(command -v nginx || echo /usr/sbin/nginx)"
[ -x "$NGINX" ] || { echo "missing nginx: run scripts/install-deps.sh"; exit 2; }
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
printf '[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\nStartHub=0\n' > "$APP/Config/ovkXap.ini"
{
  printf '[W800]\nHTTPPort=%s\nDebugLog=0\nMode=1\nMaxConnections=300\n[W800Units]\n' "$NODE_PORT"
  i=0
  while [ $i -lt "$DEVICES" ]; do
    c=$(printf '%04X' $i)
    printf '%s=%s~2~~False~~06/12/2026 11:00:00~Room %d~%s~False~True~False~0~~Temperature~False~4.7~\n' "$c" "$c" $((i % 40)) "$c"
    i=$((i + 1))
  done
} > "$APP/Config/Quillon.ini"
head -c 1048576 /dev/urandom > "$APP/HTML/file1m.pdf"
cp "$APP/HTML/file1m.pdf" "$APP/HTML/StyleNoBody.css" "$TMP/www/"

"$QUILLON" --app-dir "$APP" --headless >"$TMP/node.out" 2>&1 &
NODE_PID=$!
for _ in $(seq 100); do curl -fs "http://127.0.0.1:$NODE_PORT/status" -o "$TMP/www/status" && break; sleep 0.1; done
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
  types { text/css css; application/pdf pdf; }
  gzip on;
  gzip_types text/css;  # text/html is always compressed
  gzip_min_length 1024;
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
for path in /StyleNoBody.css /file1m.pdf; do
  for port in "$NODE_PORT" "$NGINX_PORT"; do
    code="$(curl -s -o "$TMP/check" -w '%{http_code}' "http://127.0.0.1:$port$path")"
    [ "$code" = 200 ] && cmp -s "$TMP/check" "$TMP/www/${path#/}" ||
      { echo "port $port answers $path with status $code or other bytes"; exit 1; }
  done
done
echo "/status: $(wc -c < "$TMP/www/status") bytes, $DEVICES devices"
# A browser comes back with its session's cookie: the page then goes out from the shared copy.
COOKIE="$(curl -s -D - -o /dev/null "http://127.0.0.1:$NODE_PORT/status" | tr -d '\r' |
          sed -n 's/^Set-Cookie: \([^;]*\);.*/\1/p' | head -1)"
[ -n "$COOKIE" ] || { echo "the node set no session cookie"; exit 1; }

# One wrk run: "req/s MB/s p99ms errors".
measure() {
  url="$1"; conns="$2"; shift 2
  wrk -t1 -c"$conns" -d"${DURATION}s" --latency "$@" "$url" > "$TMP/wrk.out" 2>&1 || true
  awk '/Requests\/sec/ {r=$2}
       /Transfer\/sec/ {v=$2; u=v; gsub(/[0-9.]/, "", u); gsub(/[A-Za-z]/, "", v);
                        m = (u=="GB") ? v*1024 : (u=="MB") ? v : (u=="KB") ? v/1024 : v/1048576}
       /^ +99%/ {p=$2; if (p ~ /us$/) {sub(/us$/, "", p); p/=1000} else if (p ~ /ms$/) {sub(/ms$/, "", p)}
                 else if (p ~ /s$/) {sub(/s$/, "", p); p*=1000}}
       /Socket errors|Non-2xx/ {e=e $0}
       END {gsub(/ +/, " ", e); printf "%s %.1f %s %s", (r==""?0:r), m, (p==""?"-":p), (e==""?"-":"errors")}' "$TMP/wrk.out"
}
row() {
  name="$1"; path="$2"; conns="$3"; shift 3
  set -- $(measure "http://127.0.0.1:$NODE_PORT$path" "$conns" "$@") $(measure "http://127.0.0.1:$NGINX_PORT$path" "$conns" "$@")
  printf '%-34s %10s %8s %8s %10s %8s %8s %6s %s\n' "$name" "$1" "$2" "$3" "$5" "$6" "$7" \
    "$(awk -v a="$1" -v b="$5" 'BEGIN {printf "%.2f", (b > 0) ? a / b : 0}')" "$( [ "$4" = - ] || echo "(node $4)")"
}
printf '%-34s %10s %8s %8s %10s %8s %8s %6s\n' "" "node r/s" "MB/s" "p99 ms" "nginx r/s" "MB/s" "p99 ms" "ratio"
row "small, keep-alive, 25 conns" /StyleNoBody.css 25
row "small, Connection: close, 25" /StyleNoBody.css 25 -H "Connection: close"
row "/status, 50 conns, gzip" /status 50 -H "Accept-Encoding: gzip" -H "Cookie: $COOKIE"
row "/status, 50 conns, no gzip" /status 50 -H "Cookie: $COOKIE"
row "1 MB file, 50 clients" /file1m.pdf 50

# The node's resident memory (KB) and what idle and slow clients add to it (the slow clients
# come without a cookie: each is a new session).
rss() { awk '/VmRSS/ {print $2}' "/proc/$NODE_PID/status"; }
python3 - "$NODE_PORT" "$NODE_PID" <<'PY'
import socket, sys, time
port, pid = int(sys.argv[1]), sys.argv[2]
def rss():
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS"): return int(line.split()[1])
base = rss()
idle = []
for _ in range(200):
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(b"GET /StyleNoBody.css HTTP/1.1\r\nHost: x\r\n\r\n")
    idle.append(s)
time.sleep(0.5)
for s in idle:
    s.settimeout(2)
    try: s.recv(65536)
    except OSError: pass
time.sleep(0.5)
print(f"200 idle keep-alive connections add {(rss() - base) / 1024:.1f} MB RSS")
for s in idle: s.close()
time.sleep(0.5)
base = rss()
slow = []
for _ in range(50):
    s = socket.create_connection(("127.0.0.1", port))
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
    s.sendall(b"GET /status HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
    slow.append(s)
peak = 0
for _ in range(10):  # ten seconds at 10 KB/s each
    for s in slow:
        s.settimeout(0.01)
        try: s.recv(1024)
        except OSError: pass
    time.sleep(0.1)
    peak = max(peak, rss() - base)
print(f"50 clients reading /status at 10 KB/s add {peak / 1024:.1f} MB RSS (peak)")
for s in slow: s.close()
PY
kill -0 "$NODE_PID" 2>/dev/null && echo "node still running after the runs" || { echo "the node stopped during the runs"; exit 1; }
