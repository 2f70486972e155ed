#!/bin/sh
# Starts the node on a copy of the bundled folder with the replayed feed and a loopback HTTP port,
# loads /status in headless Chromium, checks that the device table has a row per device and that
# every picture the page references is served and decodes, and writes a screenshot.
#   browser_test.sh QUILLON_BINARY SOURCE_DIR OUTPUT_DIR
# Exits 77 (skipped) when no Chromium is installed.
set -u
BIN=$1 SRC=$2 OUT=$3
CHROME=""
for c in chromium-headless-shell chromium; do
  command -v "$c" >/dev/null 2>&1 && { CHROME=$(command -v "$c"); break; }
done
[ -n "$CHROME" ] || { echo "no chromium installed: skipped"; exit 77; }

APP="$OUT/browser-app"
rm -rf "$APP" "$OUT/chrome-profile"
mkdir -p "$APP"
cp -r "$SRC/share/." "$APP/"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
sed -i "s/^HTTPPort=.*/HTTPPort=$PORT/" "$APP/Config/Quillon.ini"
# Everything stays on loopback and the test's node leaves the xAP port to any hub already running.
printf '[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\nStartHub=0\n' > "$APP/Config/ovkXap.ini"

"$BIN" --app-dir "$APP" --headless -v --replay "$SRC/share/replay/house.txt" --replay-speed 0 > "$OUT/browser-node.log" 2>&1 &
NODE=$!
fail() { echo "FAIL: $*"; kill "$NODE" 2>/dev/null; wait "$NODE" 2>/dev/null; exit 1; }
URL="http://127.0.0.1:$PORT"
i=0
until grep -q "Replay finished" "$OUT/browser-node.log" && curl -sf -o /dev/null "$URL/status"; do
  i=$((i + 1))
  [ $i -le 100 ] || fail "the node did not answer on $URL/status"
  sleep 0.2
done

chrome() { timeout 60 "$CHROME" --headless --no-sandbox --disable-gpu --no-first-run \
  --user-data-dir="$OUT/chrome-profile" --virtual-time-budget=5000 "$@" 2>>"$OUT/browser-chrome.log"; }

chrome --dump-dom "$URL/status" > "$OUT/status-dom.html" || fail "chromium could not load the page"
ROWS=$(grep -o 'name="Location_[0-9A-Z_]*"' "$OUT/status-dom.html" | sort -u | wc -l)
DEVICES=$(curl -sf "$URL/status" | grep -o "name='Location_[0-9A-Z_]*'" | wc -l)
# Every device the node knows: the lines of [W800Units] it keeps, once the replay is done and
# its new records have been written (changes reach the file in one flush a second later).
known() { tr -d '\r' < "$APP/Config/Quillon.ini" | awk '/^\[/{s=(toupper($0)=="[W800UNITS]")} s&&/=/&&!/^;/' | wc -l; }
[ "$ROWS" -gt 0 ] || fail "no device rows"
[ "$ROWS" -eq "$DEVICES" ] || fail "the browser shows $ROWS rows, the page has $DEVICES"
i=0
KNOWN=$(known)
while [ "$KNOWN" -ne "$ROWS" ] && [ $i -lt 25 ]; do
  sleep 0.2
  i=$((i + 1))
  KNOWN=$(known)
done
[ "$ROWS" -eq "$KNOWN" ] || fail "$ROWS rows for $KNOWN devices in the settings file"

# Each picture is loaded by the browser itself: a page of all of them reports the broken ones.
grep -o 'src="[^"]*"' "$OUT/status-dom.html" | sed 's/^src="//; s/"$//' | sort -u > "$OUT/pictures.txt"
PICTURES=$(wc -l < "$OUT/pictures.txt")
[ "$PICTURES" -gt 2 ] || fail "the page shows no pictures"
{
  echo "<html><body>"
  while read -r p; do echo "<img src=\"$URL$p\">"; done < "$OUT/pictures.txt"
  echo "<script>window.onload = function() { var bad = []; var imgs = document.images;"
  echo "for (var i = 0; i < imgs.length; i++) if (!imgs[i].complete || imgs[i].naturalWidth == 0) bad.push(imgs[i].src);"
  echo "document.body.setAttribute('data-result', bad.length ? 'BROKEN ' + bad.join(' ') : 'ALL-LOADED ' + imgs.length); };</script>"
  echo "</body></html>"
} > "$OUT/pictures.html"
chrome --allow-file-access-from-files --dump-dom "file://$OUT/pictures.html" > "$OUT/pictures-dom.html"
grep -q "data-result=\"ALL-LOADED $PICTURES\"" "$OUT/pictures-dom.html" ||
  fail "pictures not loaded: $(grep -o 'data-result="[^"]*"' "$OUT/pictures-dom.html" || echo 'no result')"
curl -sf -o /dev/null "$URL/StyleNoBody.css" || fail "the style sheet is not served"
curl -sf "$URL/help" | grep -q "Back to the status page" || fail "the help page is not served"

chrome --window-size=1400,1200 --screenshot="$OUT/status-page.png" "$URL/status" >/dev/null || fail "no screenshot"
[ -s "$OUT/status-page.png" ] || fail "empty screenshot"
kill "$NODE"
wait "$NODE" 2>/dev/null
echo "OK: $ROWS device rows, $PICTURES pictures loaded; screenshot $OUT/status-page.png"
