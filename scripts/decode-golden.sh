#!/bin/sh
# The golden corpus of the decoders: quillon-decode is run over the sample house's feed
# (share/replay/house.txt, with the bundled settings) and over every recording in tests/golden
# (with tests/golden/Config), and its output (standard output and the log on standard error) is
# compared with the accepted output beside each recording (NAME.expected).
#
#   scripts/decode-golden.sh check  [DECODER]   compare; the differences are shown (the ctest)
#   scripts/decode-golden.sh update [DECODER]   write the output as the accepted one
#
# DECODER defaults to build/asan/src/app/quillon-decode. After a change to a decoder, run update
# and review the differences in the .expected files (git diff) before committing them.
set -u
mode="${1:-check}"
here=$(cd "$(dirname "$0")/.." && pwd)
decoder="${2:-$here/build/asan/src/app/quillon-decode}"
corpus="$here/tests/golden"
case "$mode" in check|update) ;; *) echo "usage: $0 check|update [DECODER]" >&2; exit 2 ;; esac
if [ ! -x "$decoder" ]; then
  echo "$0: no decoder at $decoder (build first, or name it)" >&2
  exit 2
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
count=0
run() {  # recording, settings folder, accepted output
  count=$((count + 1))
  # The decoder's clock is virtual and starts on 1 January 2026: nothing depends on the machine.
  "$decoder" --config "$2" "$1" > "$tmp/out" 2>&1
  echo "[exit $?]" >> "$tmp/out"
  if [ "$mode" = update ]; then
    if ! cmp -s "$tmp/out" "$3"; then
      cp "$tmp/out" "$3"
      echo "updated $(basename "$3")"
    fi
  elif ! diff -u "$3" "$tmp/out" > "$tmp/diff" 2>&1; then
    echo "FAIL: $1 differs from $(basename "$3"):"
    head -60 "$tmp/diff"
    fail=$((fail + 1))
  fi
}

run "$here/share/replay/house.txt" "$here/share/Config" "$corpus/house.expected"
for f in "$corpus"/*.txt; do
  run "$f" "$corpus/Config" "${f%.txt}.expected"
done
echo "$count recordings, $fail differ"
[ "$fail" -eq 0 ]
