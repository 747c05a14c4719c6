#!/usr/bin/env bash
# The bootstrap's reader against native zstd: decode throughput over the
# benchmarks' data set (benchmarks/dataset, packed at the packer's default
# level), both measured in this run on the same frame, reported as a ratio.
# The reader runs in-process under Wine and reads the records the way the
# extraction does; the figures are medians.
#
#   run.sh HOST_BUILD WINDOWS_BUILD      (WINEPREFIX set by the caller)
#   BENCH_MB, BENCH_LEVEL   the data set (see benchmarks/lib.sh)
#   BENCH_ROUNDS            rounds per side (default 5)
set -euo pipefail
host=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
rounds=${BENCH_ROUNDS:-5}
bench_payload "$host" "$windows"
frame=$BENCH_CACHE/app.zst
payload=$BENCH_CACHE/app.payload
export BENCH_TIMES
BENCH_TIMES=$(mktemp -d)
trap 'rm -rf "$BENCH_TIMES"' EXIT

# One round of each side after the other, so that a busy moment of the
# shared machine falls on both.
decoded_native=$(zstd -q -d -c "$frame" | wc -c)
for _ in $(seq "$rounds"); do
  timed native zstd -q -d -o /dev/null -f "$frame"
  wine "$windows/benchmarks/bench-reader.exe" "$(wine_path "$payload")" 1 </dev/null 2>/dev/null |
    tr -d '\r' > "$BENCH_TIMES/output"
  decoded=$(head -1 "$BENCH_TIMES/output")
  [ "$decoded" = "$decoded_native" ] || { echo "reader decoded ${decoded:-nothing}, zstd $decoded_native bytes" >&2; exit 1; }
  record reader "$(tail -1 "$BENCH_TIMES/output")"
done

native=$(median native) reader=$(median reader)
echo "payload: $(calc "$(stat -c %s "$payload") / 1e6") MB holding $(calc "$decoded / 1e6") MB decoded, level $BENCH_LEVEL_USED"
echo "reader under Wine:  $(calc "int($decoded / $reader / 1e6)") MB/s (median of $rounds, records read as extraction reads them)"
echo "zstd -d, native:    $(calc "int($decoded / $native / 1e6)") MB/s (median of $rounds, to /dev/null)"
echo "ratio reader / zstd -d: $(calc "$native / $reader")"
