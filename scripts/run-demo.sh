#!/bin/sh
# Builds the node and runs it on a copy of the bundled default application folder, fed by the
# recorded receiver packets of share/replay/house.txt, until Ctrl-C. With --sdr the SDR receiver
# reads the recorded rtl_433 JSON lines of share/replay/house-sdr.json beside it.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug -j"$(nproc)" --target quillon quillon-vbs
APP=build/demo-app
mkdir -p "$APP"
cp -rn share/. "$APP"/ 2>/dev/null || true
SDR=""
if [ "$1" = "--sdr" ]; then
  SDR="$PWD/share/replay/house-sdr.json"
  shift
fi
# Rtl433Source in [W800] of the demo folder: the recording with --sdr, none without.
CONF="$APP/Config/Quillon.ini"
if [ -f "$CONF" ]; then
  awk -v src="$SDR" 'tolower($0) ~ /^rtl433source=/ {next} {print} toupper($0) == "[W800]" && src != "" {print "Rtl433Source=" src}' \
    "$CONF" > "$CONF.new" && mv "$CONF.new" "$CONF"
fi
REPLAY=""
[ -f share/replay/house.txt ] && REPLAY="--replay share/replay/house.txt"
echo "Quillon is running on $APP: status page http://127.0.0.1:8017/status (Ctrl-C stops it)"
exec build/debug/src/app/quillon --app-dir "$APP" --headless -v $REPLAY "$@"
