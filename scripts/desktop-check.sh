#!/bin/sh
# Runs the node with its tray icon on a virtual X display with a notification area (trayer),
# walks the tray menu with xdotool (menu, "GUI", "IO Window", "Exit") and writes screenshots to
# build/desktop-check/. Needs: xvfb-run (xvfb), trayer, xdotool, xwd (x11-apps).
# Usage: scripts/desktop-check.sh [path/to/quillon]   (default: build/debug/src/app/quillon)
set -e
cd "$(dirname "$0")/.."
NODE="${1:-build/debug/src/app/quillon}"
for t in xvfb-run trayer xdotool xwd; do
  command -v "$t" >/dev/null || { echo "desktop-check: $t is missing (apt-get install xvfb trayer xdotool x11-apps)"; exit 2; }
done
OUT=build/desktop-check
APP="$OUT/app"
rm -rf "$OUT"; mkdir -p "$OUT"; cp -r share "$APP"
# Loopback only, and a port of its own for the page links.
sed -i 's/^\[W800\]$/[W800]\nhttpport=18917/' "$APP/Config/Quillon.ini"
cat > "$OUT/session.sh" <<SESSION
trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 32 &
sleep 1
"$NODE" --app-dir "$APP" --replay share/replay/house.txt --replay-speed 1000 -v > "$OUT/node.log" 2>&1 &
Q=\$!
sleep 3
click() { xdotool mousemove 1010 16 click 1; sleep 1; }
click; xwd -root -silent > "$OUT/1-menu.xwd"
xdotool key Down Down Return; sleep 1; xwd -root -silent > "$OUT/2-settings.xwd"
click; xdotool key Down Down Down Down Down Return; sleep 2; xwd -root -silent > "$OUT/3-echo.xwd"
click; xdotool key Up Return
for i in 1 2 3 4 5 6 7 8 9 10; do kill -0 \$Q 2>/dev/null || break; sleep 0.5; done
if kill -0 \$Q 2>/dev/null; then echo "the node did not exit from the menu"; kill -TERM \$Q; fi
wait \$Q; echo "node exit code \$?"
kill %1 2>/dev/null || true
SESSION
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" sh "$OUT/session.sh" 2>&1 | grep -v "Fatal IO" || true
python3 - "$OUT" <<'PY'
import glob, struct, sys, zlib
for src in sorted(glob.glob(sys.argv[1] + "/*.xwd")):
    d = open(src, "rb").read()
    f = struct.unpack(">25I", d[:100])
    w, h, bpl, ncolors = f[4], f[5], f[12], f[19]
    off = f[0] + ncolors * 12
    rows = b"".join(b"\0" + b"".join(bytes((d[off + y * bpl + x * 4 + 2], d[off + y * bpl + x * 4 + 1], d[off + y * bpl + x * 4]))
                                     for x in range(w)) for y in range(h))
    chunk = lambda k, v: struct.pack(">I", len(v)) + k + v + struct.pack(">I", zlib.crc32(k + v) & 0xFFFFFFFF)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")
    open(src[:-4] + ".png", "wb").write(png)
PY
rm -f "$OUT"/*.xwd
grep -E "notification|Started|Stopped|Signal" "$OUT/node.log" || true
ls "$OUT"/*.png
