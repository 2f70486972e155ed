#!/bin/sh
# Builds the Debian package from a configured build folder and checks its contents and metadata:
# programs, template, units, manual pages, maintainer scripts, dependencies; the units with
# systemd-analyze verify when it is installed.
#   [QUICK=1] scripts/check-package.sh [BUILD_DIR]   (default build/release; the programs must be built)
set -eu
SRC="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(cd "${1:-$SRC/build/release}" && pwd)"
VERSION="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")"
OUT="$(mktemp -d "${TMPDIR:-/tmp}/quillon-package-XXXXXX")"
trap 'rm -rf "$OUT"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# QUICK=1 (the test suite's run) packs without stripping or compressing, which takes most of the time.
QUICK_ARGS=""
[ "${QUICK:-0}" = 1 ] && QUICK_ARGS="-D CPACK_STRIP_FILES=OFF -D CPACK_DEBIAN_COMPRESSION_TYPE=none"
(cd "$BUILD" && cpack -G DEB -B "$OUT" $QUICK_ARGS >"$OUT/cpack.log" 2>&1) ||
  { cat "$OUT/cpack.log"; echo "FAIL: cpack"; exit 1; }
DEB="$(ls "$OUT"/quillon_*.deb)"
[ "$(basename "$DEB")" = "quillon_${VERSION}_$(dpkg --print-architecture).deb" ] || fail "file name $(basename "$DEB")"

field() { dpkg-deb -f "$DEB" "$1"; }
[ "$(field Package)" = quillon ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$VERSION" ] || fail "Version: $(field Version), project $VERSION"
for dep in adduser libc6 libstdc++6 libqt6core6 libqt6network6 zlib1g libsqlite3-0 libjs-dygraphs; do
  field Depends | tr ',' '\n' | grep -q "^ *$dep\( \|$\)" || fail "Depends lacks $dep: $(field Depends)"
done
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "Maintainer or Description missing"

dpkg-deb -c "$DEB" | awk '{print $6}' >"$OUT/files"
for f in usr/bin/quillon usr/bin/quillon-hub usr/bin/quillon-decode usr/bin/quillon-vbs \
         usr/share/quillon/Config/Quillon.ini usr/share/quillon/Config/ovkXap.ini usr/share/quillon/Scripts/Quillon.txt \
         usr/lib/systemd/system/quillon.service usr/lib/systemd/system/quillon-hub.service \
         usr/lib/systemd/user/quillon.service usr/lib/systemd/user/quillon-hub.service \
         usr/share/man/man1/quillon.1.gz usr/share/man/man1/quillon-hub.1.gz usr/share/man/man1/quillon-decode.1.gz \
         usr/share/man/man1/quillon-vbs.1.gz usr/share/doc/quillon/README.md \
         usr/share/applications/quillon.desktop usr/share/icons/hicolor/scalable/apps/quillon.svg; do
  grep -qx "\./$f" "$OUT/files" || fail "missing /$f"
done
grep -q '^\./var/\|^\./etc/\|^\./usr/local/' "$OUT/files" && fail "files outside /usr: $(grep '^\./var/\|^\./etc/\|^\./usr/local/' "$OUT/files")"

ROOT="$OUT/root"
dpkg-deb -x "$DEB" "$ROOT"
dpkg-deb -e "$DEB" "$OUT/control"
for s in postinst prerm postrm; do
  [ -x "$OUT/control/$s" ] || fail "$s missing or not executable"
  sh -n "$OUT/control/$s" || fail "$s: syntax"
done
grep -q 'adduser --system' "$OUT/control/postinst" || fail "postinst does not create the system user"
grep -q 'dialout' "$OUT/control/postinst" || fail "postinst does not add the user to dialout"
grep -q -- '--check-config' "$OUT/control/postinst" || fail "postinst message does not name --check-config"
grep -q 'rm -rf /var/lib/quillon' "$OUT/control/postrm" || fail "postrm purge keeps /var/lib/quillon"

# The template the service starts from keeps xAP on loopback.
grep -q '^BroadcastAddress=127\.' "$ROOT/usr/share/quillon/Config/ovkXap.ini" || fail "template broadcasts off loopback"
"$ROOT/usr/bin/quillon" --version | grep -q "^quillon $VERSION$" || fail "quillon --version"
"$ROOT/usr/bin/quillon-hub" --version | grep -q "^quillon-hub $VERSION$" || fail "quillon-hub --version"
for p in quillon quillon-hub quillon-decode quillon-vbs; do
  zcat "$ROOT/usr/share/man/man1/$p.1.gz" | grep -q "^\.TH " || fail "$p.1 is not a manual page"
done

UNIT="$ROOT/usr/lib/systemd/system/quillon.service"
for line in 'ExecStart=/usr/bin/quillon --headless --app-dir /var/lib/quillon' 'ExecReload=/bin/kill -HUP $MAINPID' \
            'Restart=on-failure' 'After=quillon-hub.service' 'User=quillon' 'NoNewPrivileges=yes' \
            'ProtectSystem=strict' 'ReadWritePaths=/var/lib/quillon' 'PrivateTmp=yes' 'SupplementaryGroups=dialout'; do
  grep -qF "$line" "$UNIT" || fail "quillon.service lacks $line"
done
# Serial ports must stay reachable: no device lists, no private /dev in the node's unit.
grep -q '^PrivateDevices=yes\|^DevicePolicy=\|^DeviceAllow=\|^ProtectClock=' "$UNIT" && fail "quillon.service hides the serial ports"
for u in "$ROOT"/usr/lib/systemd/system/*.service "$ROOT"/usr/lib/systemd/user/*.service; do
  for exe in $(sed -n 's/^Exec[A-Za-z]*=\([^ ]*\).*/\1/p' "$u"); do
    [ "$exe" = /bin/kill ] || [ -x "$ROOT$exe" ] || fail "$(basename "$u") runs $exe, not in the package"
  done
done
if command -v systemd-analyze >/dev/null 2>&1; then
  # The units name the programs by their installed paths: verify copies that point into the
  # unpacked package. User units need a runtime folder of their own.
  mkdir -p "$OUT/verify/system" "$OUT/verify/user" "$OUT/verify/run"
  chmod 700 "$OUT/verify/run"
  for kind in system user; do
    for u in "$ROOT/usr/lib/systemd/$kind"/*.service; do
      sed "s|=/usr/bin/|=$ROOT/usr/bin/|" "$u" >"$OUT/verify/$kind/$(basename "$u")"
    done
    flag=""
    [ "$kind" = user ] && flag="--user"
    if ! XDG_RUNTIME_DIR="$OUT/verify/run" systemd-analyze verify $flag --man=no "$OUT/verify/$kind"/*.service \
        >"$OUT/verify.log" 2>&1 || grep -q . "$OUT/verify.log"; then
      cat "$OUT/verify.log"
      fail "systemd-analyze verify of the $kind units is not clean"
    fi
  done
else
  echo "systemd-analyze not installed: units not verified"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures package check(s) failed"
  exit 1
fi
echo "package $(basename "$DEB") checked"
