# Shared by the browser tests (sourced): finds Chromium (exit 77, skipped, without one) and makes
# an application folder from share/ in $APP with a free loopback HTTP port in $PORT; xAP stays on
# loopback and leaves the xAP port to any hub already running.
CHROME=""
for c in chromium-headless-shell chromium; do
  command -v "$c" >/dev/null 2>&1 && { CHROME=$(command -v "$c"); break; }
done
[ -n "$CHROME" ] || { echo "no chromium installed: skipped"; exit 77; }

rm -rf "$APP"
mkdir -p "$APP"
cp -r "$SRC/share/." "$APP/"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
sed -i "s/^HTTPPort=.*/HTTPPort=$PORT/" "$APP/Config/Quillon.ini"
printf '[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\nStartHub=0\n' > "$APP/Config/ovkXap.ini"
URL="http://127.0.0.1:$PORT"
