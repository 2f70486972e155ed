#!/bin/sh
# Starts the node on a copy of the bundled folder with the replayed feed and a loopback HTTP port,
# loads /status in headless Chromium, checks that the device table has a row per device and that
# every picture the page references is served and decodes, that an edit made through the page
# lands and the same post from a page of another site does not, and writes screenshots at a
# desktop and a phone size.
#   browser_test.sh QUILLON_BINARY SOURCE_DIR OUTPUT_DIR
# Exits 77 (skipped) when no Chromium is installed.
set -u
BIN=$1 SRC=$2 OUT=$3
APP="$OUT/browser-app"
rm -rf "$OUT/chrome-profile"
. "$(dirname "$0")/browser_setup.sh"

"$BIN" --app-dir "$APP" --headless -v --replay "$SRC/share/replay/house.txt" --replay-speed 0 > "$OUT/browser-node.log" 2>&1 &
NODE=$!
fail() { echo "FAIL: $*"; kill "$NODE" 2>/dev/null; wait "$NODE" 2>/dev/null; exit 1; }
i=0
until grep -q "Replay finished" "$OUT/browser-node.log" && curl -sf -o /dev/null "$URL/status"; do
  i=$((i + 1))
  [ $i -le 100 ] || fail "the node did not answer on $URL/status"
  sleep 0.2
done

chrome() { timeout 60 "$CHROME" --headless --no-sandbox --disable-gpu --no-first-run \
  --user-data-dir="$OUT/chrome-profile" --virtual-time-budget=5000 "$@" 2>>"$OUT/browser-chrome.log"; }

chrome --dump-dom "$URL/status#still" > "$OUT/status-dom.html" || fail "chromium could not load the page"
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

# A desktop and a phone-sized window.
for size in 1400,900 390,844; do
  chrome --window-size=$size --screenshot="$OUT/status-page-${size%,*}.png" "$URL/status#still" >/dev/null || fail "no screenshot at $size"
  [ -s "$OUT/status-page-${size%,*}.png" ] || fail "empty screenshot at $size"
done

# An edit made through the page in the browser lands; the same post from a page of another site
# (a local file: Origin null) changes nothing. The edit is made by a page served from the node's
# own origin (put where the help page is served), which reads /status and posts its form back.
CODE=$(tr -d '\r' < "$APP/Config/Quillon.ini" | awk '/^\[/{s=(toupper($0)=="[W800UNITS]")} s&&/=/{sub(/=.*/, ""); print; exit}')
cat > "$APP/HTML/Help/Quillon/Quillon.htm" <<HARNESS
<html><body><script>
async function run() {
  const page = await (await fetch('/status')).text();
  const form = new DOMParser().parseFromString(page, 'text/html').forms['control'];
  const body = new URLSearchParams();
  for (const e of form.elements) {
    if (!e.name || ((e.type == 'checkbox' || e.type == 'radio') && !e.checked)) continue;
    if (e.type == 'submit' && e.name != 'UpdateButton') continue;
    body.append(e.name, e.value);
  }
  body.set('Location_$CODE', 'Typed & kept');
  const answer = await fetch('/status', {method: 'POST', body: body});
  document.body.setAttribute('data-result', 'STATUS ' + answer.status);
}
run().catch(function (e) { document.body.setAttribute('data-result', 'ERROR ' + e); });
</script></body></html>
HARNESS
chrome --dump-dom "$URL/help" > "$OUT/edit-dom.html"
grep -q 'data-result="STATUS 200"' "$OUT/edit-dom.html" || fail "the edit in the browser: $(grep -o 'data-result="[^"]*"' "$OUT/edit-dom.html" || echo 'no result')"
curl -sf "$URL/status" | grep -q "name='Location_$CODE' value='Typed &amp; kept'" || fail "the browser's edit did not land"
cat > "$OUT/foreign.html" <<FOREIGN
<html><body onload="document.forms[0].submit()"><form method="post" action="$URL/status">
<input name="clientinput" value="yes"><input name="UpdateButton" value="Save"><input name="Location_$CODE" value="Hijacked">
</form></body></html>
FOREIGN
chrome --allow-file-access-from-files --dump-dom "file://$OUT/foreign.html" > "$OUT/foreign-dom.html"
grep -q "403 Forbidden" "$OUT/foreign-dom.html" || fail "the foreign post was not refused: $(head -c 300 "$OUT/foreign-dom.html")"
curl -sf "$URL/status" | grep -q "Hijacked" && fail "a page of another site changed a device"
kill "$NODE"
wait "$NODE" 2>/dev/null
echo "OK: $ROWS device rows, $PICTURES pictures loaded, an edit in the browser landed, a foreign post was refused; screenshots $OUT/status-page-1400.png and $OUT/status-page-390.png"
