#!/bin/sh
# Runs every .vbs in a folder through quillon-vbs and compares stdout+stderr (plus
# "[exit N]" for a non-zero exit code) with the matching .out file.
runner="$1"; dir="$2"; fail=0; count=0
cd "$dir" || exit 2
for f in *.vbs; do
  count=$((count + 1))
  base="${f%.vbs}"
  args=""
  [ -f "$base.args" ] && args=$(cat "$base.args")
  actual=$(timeout 60 "$runner" "$f" $args 2>&1; rc=$?; [ $rc -ne 0 ] && echo "[exit $rc]")
  expected=$(cat "$base.out")
  if [ "$actual" != "$expected" ]; then
    echo "FAIL: $dir/$f"
    printf '%s\n' "$actual" > "/tmp/vbs-actual-$base.txt"
    diff "$base.out" "/tmp/vbs-actual-$base.txt" | head -20
    fail=$((fail + 1))
  fi
done
echo "$count scripts, $fail failed"
[ $fail -eq 0 ]
