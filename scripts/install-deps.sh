#!/bin/sh
# Installs the Debian packages Quillon needs to build, test and benchmark, when they are missing
# (wrk and nginx serve the HTTP benchmark only: it starts its own nginx on 127.0.0.1, and the
# service that Debian's nginx package starts on port 80 is turned off when this script installs it).
set -e
PACKAGES="cmake g++ make pkg-config git qt6-base-dev libgl-dev
googletest libgtest-dev libgmock-dev libbenchmark-dev lua5.4 python3 xauth xvfb curl
wrk nginx"
# Headless Chromium runs the browser test of the status page (skipped when it is missing).
PACKAGES="$PACKAGES chromium-headless-shell"
# The Debian package: dpkg-shlibdeps (dpkg-dev) and file give CPack the programs' dependencies.
PACKAGES="$PACKAGES dpkg-dev file"
# MQTT: the client library and the JSON library the bridge builds on; the broker and its clients
# for the tests and benchmark, which start their own broker on a free loopback port.
PACKAGES="$PACKAGES libmosquitto-dev nlohmann-json3-dev mosquitto mosquitto-clients"
# gzip of the web server's text answers.
PACKAGES="$PACKAGES zlib1g-dev"
# History: SQLite stores the readings, dygraphs draws them on the device page.
PACKAGES="$PACKAGES libsqlite3-dev libjs-dygraphs"
# Serial lines: socat makes pseudo-terminal pairs that stand for a receiver's serial port, ser2net
# puts a serial-to-network adapter in front of one; ss (iproute2) shows a socket's keep-alive.
PACKAGES="$PACKAGES socat ser2net iproute2"
# Software-defined radio: rtl_433 is the second kind of receiver the node can run, and its -y test
# codes feed the SDR tests.
PACKAGES="$PACKAGES rtl-433"
# promtool checks the node's /metrics text in the tests. It comes only in the prometheus package,
# which also holds the Prometheus server and would start it (port 9090) on install: that package
# is installed on its own with service starts refused, and its service disabled afterwards.
SERVER_PACKAGES="prometheus"
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=""
for p in $PACKAGES; do
  installed "$p" || missing="$missing $p"
done
missing_servers=""
for p in $SERVER_PACKAGES; do
  installed "$p" || missing_servers="$missing_servers $p"
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
[ -n "$missing$missing_servers" ] && $SUDO apt-get update -qq
if [ -n "$missing_servers" ]; then
  echo "Installing (services not started):$missing_servers"
  # policy-rc.d answering 101 makes invoke-rc.d and deb-systemd-invoke skip every start, with or
  # without systemd; a policy the machine already has is left as it is.
  POLICY=/usr/sbin/policy-rc.d
  OWN_POLICY=""
  if [ ! -e "$POLICY" ]; then
    trap '$SUDO rm -f "$POLICY"' EXIT INT TERM
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$POLICY" >/dev/null
    $SUDO chmod 755 "$POLICY"
    OWN_POLICY=1
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing_servers
  if [ -n "$OWN_POLICY" ]; then
    $SUDO rm -f "$POLICY"
    trap - EXIT INT TERM
  fi
  # Not started at boot either: the unit is disabled (systemctl does that without a running
  # systemd too) and so are the init script's links.
  for p in $missing_servers; do
    if [ -d /run/systemd/system ]; then
      $SUDO systemctl disable --now "$p" >/dev/null 2>&1 || true
    elif command -v systemctl >/dev/null 2>&1; then
      $SUDO systemctl disable "$p" >/dev/null 2>&1 || true
    fi
    command -v update-rc.d >/dev/null 2>&1 && { $SUDO update-rc.d "$p" disable >/dev/null 2>&1 || true; }
  done
fi
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
  case " $missing " in
    *" nginx "*) [ -d /run/systemd/system ] && $SUDO systemctl disable --now nginx >/dev/null 2>&1 || true ;;
  esac
  # The tests start their own ser2net on a free loopback port; the service Debian starts is not wanted.
  case " $missing " in
    *" ser2net "*) [ -d /run/systemd/system ] && $SUDO systemctl disable --now ser2net >/dev/null 2>&1 || true ;;
  esac
fi
