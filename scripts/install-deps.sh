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
# Serial lines: socat makes pseudo-terminal pairs that stand for a receiver's serial port, ser2net
# puts a serial-to-network adapter in front of one; ss (iproute2) shows a socket's keep-alive.
PACKAGES="$PACKAGES socat ser2net iproute2"
# Software-defined radio: rtl_433 is the second kind of receiver the node can run, and its -y test
# codes feed the SDR tests.
PACKAGES="$PACKAGES rtl-433"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
  case " $missing " in
    *" nginx "*) [ -d /run/systemd/system ] && $SUDO systemctl disable --now nginx >/dev/null 2>&1 || true ;;
  esac
  # The tests start their own ser2net on a free loopback port; the service Debian starts is not wanted.
  case " $missing " in
    *" ser2net "*) [ -d /run/systemd/system ] && $SUDO systemctl disable --now ser2net >/dev/null 2>&1 || true ;;
  esac
fi
