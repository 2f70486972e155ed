#!/bin/sh
# The device lifecycle in headless Chromium on the status page: two devices nobody has placed
# appear in the new-devices list; the Ignore button of one and the Replace button of the other
# (taking over the front door sensor) are clicked in the page itself; a garden sensor heard every
# 5 s and then silent is shown stale. Screenshot of the page at the end.
#   lifecycle_browser_test.sh QUILLON_BINARY SOURCE_DIR OUTPUT_DIR
# Exits 77 (skipped) when no Chromium is installed.
set -u
BIN=$1 SRC=$2 OUT=$3
APP="$OUT/lifecycle-app"
rm -rf "$OUT/lifecycle-profile"
. "$(dirname "$0")/browser_setup.sh"
# Replayed five times faster than written: the garden sensor every 5 s, four times, then silence.
cat > "$OUT/lifecycle-replay.txt" <<'REPLAY'
# mode: 48
0.000 2C
0.500 20 5A 55 0C F3
1.000 20 6B 64 0C F3
2.000 50 1A 2D 10 E5 02 21 50 38 39 4B
27.000 50 1A 2D 10 E5 02 21 50 38 39 4B
52.000 50 1A 2D 10 E5 02 21 50 38 39 4B
77.000 50 1A 2D 10 E5 02 21 50 38 39 4B
REPLAY

"$BIN" --app-dir "$APP" --headless -v --replay "$OUT/lifecycle-replay.txt" --replay-speed 5 > "$OUT/lifecycle-node.log" 2>&1 &
NODE=$!
fail() { echo "FAIL: $*"; kill "$NODE" 2>/dev/null; wait "$NODE" 2>/dev/null; exit 1; }
i=0
until curl -sf "$URL/api/devices/6B64" >/dev/null && curl -sf "$URL/api/devices/5A55" >/dev/null; do
  i=$((i + 1))
  [ $i -le 100 ] || fail "the new devices were not heard"
  sleep 0.2
done

chrome() { timeout 60 "$CHROME" --headless --no-sandbox --disable-gpu --no-first-run \
  --user-data-dir="$OUT/lifecycle-profile" --virtual-time-budget=8000 "$@" 2>>"$OUT/lifecycle-chrome.log"; }

chrome --dump-dom "$URL/status#still" > "$OUT/lifecycle-dom.html" || fail "chromium could not load the page"
grep -q 'id="new_5A55"' "$OUT/lifecycle-dom.html" || fail "5A55 is not in the new-devices list"
grep -q 'id="new_6B64"' "$OUT/lifecycle-dom.html" || fail "6B64 is not in the new-devices list"

# A page of the node's own origin loads /status in a frame, acts there as a user would and
# reports the notice the answering page shows.
click() {
  cat > "$APP/HTML/Help/Quillon/Quillon.htm" <<HARNESS
<html><body><iframe id="f" src="/status#still" width="1200" height="800"></iframe><script>
var f = document.getElementById('f'), step = 0;
f.onload = function () {
  var doc = f.contentDocument;
  if (step++ == 0) { $1; return; }
  var n = doc.querySelector('.notice');
  document.body.setAttribute('data-result', n ? 'NOTICE ' + n.textContent : 'NO NOTICE');
};
</script></body></html>
HARNESS
  chrome --dump-dom "$URL/help" > "$OUT/lifecycle-click.html"
  grep -o 'data-result="[^"]*"' "$OUT/lifecycle-click.html" || echo "no result"
}

R=$(click "doc.querySelector('input[name=Ignore_5A55]').click()")
echo "$R" | grep -q "5A55 is ignored from now on" || fail "ignore: $R"
curl -s -o /dev/null -w '%{http_code}' "$URL/api/devices/5A55" | grep -q 404 || fail "the ignored device still has a record"
tr -d '\r' < "$APP/Config/Quillon.ini" | grep -i -A3 '^\[W800Ignore\]' | grep -q '^5A55=' || fail "the ignore list was not saved"

R=$(click "doc.querySelector('select[name=ReplaceFor_6B64]').value = '3C33'; doc.querySelector('input[name=Replace_6B64]').click()")
echo "$R" | grep -q "6B64 replaces 3C33 from now on" || fail "replace: $R"
curl -sf "$URL/api/devices/6B64" | grep -q '"location":"Front door"' || fail "the new code did not take the old one's location"
curl -s -o /dev/null -w '%{http_code}' "$URL/api/devices/3C33" | grep -q 404 || fail "the replaced device is still there"
tr -d '\r' < "$APP/Config/Quillon.ini" | grep -q '^6B64=3C33$' || fail "the carried identity was not saved"

# The garden sensor's last packet comes 15 s after its first; three of its 5 s intervals later
# (and the next check) it is stale.
i=0
until curl -sf "$URL/api/devices/1A2D_1E5" | grep -q '"stale":true'; do
  i=$((i + 1))
  [ $i -le 200 ] || fail "the silent garden sensor was not marked stale"
  sleep 0.25
done
chrome --dump-dom "$URL/status#still" > "$OUT/lifecycle-dom.html"
grep -q 'id="sl_1A2D_1E5"><br>stale<' "$OUT/lifecycle-dom.html" || fail "the page does not show the garden sensor stale"
i=0
until grep -q "1A2D_1E5 (Garden) not heard for" "$APP/Data/Quillon.txt"; do
  i=$((i + 1))
  [ $i -le 40 ] || fail "no log line for the stale sensor"
  sleep 0.25
done
chrome --window-size=1400,900 --screenshot="$OUT/lifecycle-page.png" "$URL/status#still" >/dev/null || fail "no screenshot"
kill "$NODE"
wait "$NODE" 2>/dev/null
echo "OK: ignore and replace clicked in the page, a silent sensor shown stale; screenshot $OUT/lifecycle-page.png"
