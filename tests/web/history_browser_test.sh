#!/bin/sh
# The device page in headless Chromium after a replay of the sample evening: the RFXCOM sensor's
# page draws its graph (a canvas) from the replayed readings fetched from /api/history, and the
# phone-sized window shows it too. Screenshots are kept in the output folder.
#   history_browser_test.sh QUILLON_BINARY SOURCE_DIR OUTPUT_DIR
# Exits 77 (skipped) when no Chromium or no dygraphs is installed.
set -u
BIN=$1 SRC=$2 OUT=$3
CHROME=""
for c in chromium-headless-shell chromium; do
  command -v "$c" >/dev/null 2>&1 && { CHROME=$(command -v "$c"); break; }
done
[ -n "$CHROME" ] || { echo "no chromium installed: skipped"; exit 77; }
[ -f /usr/share/javascript/dygraphs/dygraph.min.js ] || { echo "libjs-dygraphs not installed: skipped"; exit 77; }

APP="$OUT/history-app"
rm -rf "$APP" "$OUT/history-profile"
mkdir -p "$APP"
cp -r "$SRC/share/." "$APP/"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
sed -i "s/^HTTPPort=.*/HTTPPort=$PORT/" "$APP/Config/Quillon.ini"
printf '[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\nStartHub=0\n' > "$APP/Config/ovkXap.ini"

"$BIN" --app-dir "$APP" --headless --replay "$SRC/share/replay/house.txt" --replay-speed 10 > "$OUT/history-node.log" 2>&1 &
NODE=$!
fail() { echo "FAIL: $*"; kill "$NODE" 2>/dev/null; wait "$NODE" 2>/dev/null; exit 1; }
URL="http://127.0.0.1:$PORT"
CODE=21D0
i=0
# The RFXCOM sensor is heard twice in the recording (21.5 and -6.5); both readings reach the database.
until [ "$(curl -sf "$URL/api/history?code=$CODE" | grep -o '"t":' | wc -l)" -ge 2 ]; do
  i=$((i + 1))
  [ $i -le 100 ] || fail "the replayed readings of $CODE are not in the history"
  sleep 0.2
done
curl -sf "$URL/status#still" | grep -q "href='/device?code=$CODE'" || fail "the status page does not link the device page"

chrome() { timeout 60 "$CHROME" --headless --no-sandbox --disable-gpu --no-first-run \
  --user-data-dir="$OUT/history-profile" --virtual-time-budget=8000 "$@" 2>>"$OUT/history-chrome.log"; }

chrome --dump-dom "$URL/device?code=$CODE" > "$OUT/history-dom.html" || fail "chromium could not load the device page"
POINTS=$(grep -o 'id="graph"[^>]*data-points="[0-9]*"' "$OUT/history-dom.html" | grep -o '[0-9]*"$' | tr -d '"')
[ "${POINTS:-0}" -ge 2 ] || fail "the graph was drawn with ${POINTS:-no} points, not the replayed 2"
grep -q '<canvas' "$OUT/history-dom.html" || fail "no canvas on the device page"
chrome --window-size=1000,800 --screenshot="$OUT/device-page.png" "$URL/device?code=$CODE" >/dev/null || fail "no screenshot"
chrome --window-size=390,844 --screenshot="$OUT/device-page-390.png" "$URL/device?code=$CODE" >/dev/null || fail "no phone screenshot"
kill "$NODE"
wait "$NODE" 2>/dev/null
echo "OK: the device page of $CODE drew $POINTS replayed points; screenshots $OUT/device-page.png, $OUT/device-page-390.png"
