#!/bin/sh
# Builds the node and runs it on a copy of the bundled default application folder, fed by the
# recorded receiver packets of share/replay/house.txt, until Ctrl-C.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug -j"$(nproc)" --target quillon quillon-vbs
APP=build/demo-app
mkdir -p "$APP"
cp -rn share/. "$APP"/ 2>/dev/null || true
REPLAY=""
[ -f share/replay/house.txt ] && REPLAY="--replay share/replay/house.txt"
echo "Quillon is running on $APP: status page http://127.0.0.1:8017/status (Ctrl-C stops it)"
exec build/debug/src/app/quillon --app-dir "$APP" --headless -v $REPLAY "$@"
