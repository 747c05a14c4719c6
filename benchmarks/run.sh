#!/usr/bin/env bash
# Runs every benchmark (benchmarks/*/run.sh). Benchmarks report ratios measured
# side by side in one run; they are not tests and never fail on a timing.
#   run.sh HOST_BUILD WINDOWS_BUILD WINE_PREFIX
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=$3 WINEDEBUG=-all
wineserver -p
trap 'wineserver -k 2>/dev/null; true' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1
found=0
for bench in "$here"/*/run.sh; do
  [ -f "$bench" ] || continue
  found=1
  echo "== $(basename "$(dirname "$bench")")"
  bash "$bench" "$1" "$2"
done
[ $found -eq 1 ] || echo "no benchmarks yet"
