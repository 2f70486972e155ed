#!/bin/sh
# Runs the same five programs in quillon-vbs, python3 and lua5.4 and prints times and
# the ratio of quillon-vbs to each (below 1.0 = faster).
vbs="${1:-quillon-vbs}"
dir="$(cd "$(dirname "$0")/programs" && pwd)"
now() { date +%s.%N; }
time_of() {
  start=$(now)
  out=$("$@" 2>&1)
  end=$(now)
  echo "$(echo "$end - $start" | bc -l) $out"
}
printf '%-10s %10s %10s %10s %9s %9s\n' program vbs python3 lua5.4 vbs/py vbs/lua
for p in loop concat calls dict strfuncs; do
  set -- $(time_of "$vbs" "$dir/$p.vbs"); tv=$1; ov=$2
  set -- $(time_of python3 "$dir/$p.py"); tp=$1; op=$2
  set -- $(time_of lua5.4 "$dir/$p.lua"); tl=$1; ol=$2
  [ "$ov" = "$op" ] || echo "warning: $p outputs differ: vbs=$ov python=$op"
  printf '%-10s %9.3fs %9.3fs %9.3fs %9.2f %9.2f\n' "$p" "$tv" "$tp" "$tl" \
    "$(echo "$tv / $tp" | bc -l)" "$(echo "$tv / $tl" | bc -l)"
done
