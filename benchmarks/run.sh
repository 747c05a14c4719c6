#!/usr/bin/env bash
# Runs every benchmark (benchmarks/*/run.sh). Benchmarks report ratios measured
# side by side in one run; they are not tests and never fail on a timing.
#
#   run.sh [--smoke] HOST_BUILD WINDOWS_BUILD WINE_PREFIX
#
# The full run (make bench) takes minutes, more the first time, when the data
# set is packed; its output, table, chart and the machine's description go to
# BENCH_RESULTS (default docs/bench). --smoke runs every benchmark on a data
# set of a few MB in one round, so that a broken benchmark shows in make test;
# it checks that they run and write their results, never how fast.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
smoke=0
if [ "${1:-}" = --smoke ]; then smoke=1; shift; fi
[ $# -eq 3 ] || { echo "usage: $0 [--smoke] HOST_BUILD WINDOWS_BUILD WINE_PREFIX" >&2; exit 2; }
host=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
if [ $smoke -eq 1 ]; then
  export BENCH_MB=4 BENCH_MANY_MB=2 BENCH_ROUNDS=1 BENCH_LEVEL=3 BENCH_SIGN_PE=20 BENCH_SIGN_ROUNDS=1 BENCH_MEMORY_MB=4 BENCH_RESULTS=$windows/bench-smoke
  rm -rf "$BENCH_RESULTS"
else
  export BENCH_RESULTS=${BENCH_RESULTS:-$(cd "$here/.." && pwd)/docs/bench}
fi
mkdir -p "$BENCH_RESULTS"
export WINEPREFIX=$(cd "$3" && pwd) WINEDEBUG=-all
wineserver -p 2>/dev/null || true  # one may be running already
trap 'wineserver -k 2>/dev/null; true' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1

for bench in "$here"/*/run.sh; do
  echo "== $(basename "$(dirname "$bench")")"
  bash "$bench" "$host" "$windows"
done 2>&1 | tee "$BENCH_RESULTS/output.txt"
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] || { echo "benchmarks: a benchmark failed (status $status)" >&2; exit 1; }
if [ $smoke -eq 1 ]; then
  for result in results.md chart.png machine.md; do
    [ -s "$BENCH_RESULTS/$result" ] || { echo "benchmarks: no $result written" >&2; exit 1; }
  done
  echo "benchmark smoke run: every benchmark ran and wrote its results"
fi
