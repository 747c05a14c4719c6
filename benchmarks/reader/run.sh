#!/usr/bin/env bash
# The bootstrap's reader against native zstd: decode throughput over one large
# payload, both measured in this run on the same frame, reported as a ratio.
# The payload packs Wine's own PE libraries (real Windows code and data) at
# the packer's default level; it is kept in the host build for later runs.
#
#   run.sh HOST_BUILD WINDOWS_BUILD      (WINEPREFIX set by the caller)
#   BENCH_MIB   decoded size to aim for (default 256)
#   BENCH_LEVEL compression level (default 19, as onefile-pack's default)
#   BENCH_ROUNDS rounds per side, the best counts (default 3)
set -euo pipefail
host=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
mib=${BENCH_MIB:-256} level=${BENCH_LEVEL:-19} rounds=${BENCH_ROUNDS:-3}
work=$host/benchmarks/reader
source_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
mkdir -p "$work"
export WINEDEBUG=-all

payload=$work/wine-libraries-$mib-$level.payload
if [ ! -f "$payload" ]; then
  app=$work/app
  rm -rf "$app" && mkdir -p "$app"
  cp "$source_dlls/notepad.exe" "$app/app.exe"
  total=0
  for f in "$source_dlls"/*; do
    [ "$total" -ge $((mib * 1024 * 1024)) ] && break
    cp "$f" "$app/"
    total=$((total + $(stat -c %s "$f")))
  done
  echo "packing $((total / 1024 / 1024)) MiB of Wine's libraries at level $level (once)..."
  "$host/tools/onefile-pack/onefile-pack" payload "$app" --main app.exe -o "$payload" --level "$level"
fi

# The reader, built like the bootstrap, as a console program that reports times.
# shellcheck disable=SC1091
. "$windows/link-config.sh"
bench=$work/reader-bench.exe
# shellcheck source=SCRIPTDIR/../../cmake/compiler-flags.sh
. "$top/cmake/compiler-flags.sh"
defines=()
for d in $BOOTSTRAP_DEFINITIONS; do defines+=("-D$d"); done
# shellcheck disable=SC2086
"$CC" $BOOTSTRAP_COMPILE_FLAGS "${defines[@]}" -I"$top" "$here/reader-bench.cpp" -o "$bench" \
  $BOOTSTRAP_LIBS -static -municode -lz -lshell32

frame=$work/frame.zst
size=$(stat -c %s "$payload")
tail -c +4 "$payload" | head -c $((size - 15)) > "$frame"

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
best_native=""
for _ in $(seq "$rounds"); do
  start=$(now)
  zstd -q -d -c "$frame" > /dev/null
  end=$(now)
  t=$(calc "$end - $start")
  if [ -z "$best_native" ] || [ "$(calc "($t < $best_native) ? 1 : 0")" = 1 ]; then best_native=$t; fi
done
decoded_native=$(zstd -q -d -c "$frame" | wc -c)

read -r decoded best_reader < <(wine "$bench" "$(winepath -w "$payload")" "$rounds" | tr -d '\r')
[ "$decoded" = "$decoded_native" ] || { echo "reader decoded $decoded bytes, zstd $decoded_native" >&2; exit 1; }

echo "payload: $(calc "$size / 1e6") MB holding $(calc "$decoded / 1e6") MB decoded, level $level"
echo "reader under Wine:  $(calc "int($decoded / $best_reader / 1e6)") MB/s (best of $rounds, records read as extraction reads them)"
echo "zstd -d, native:    $(calc "int($decoded / $best_native / 1e6)") MB/s (best of $rounds, to /dev/null)"
echo "ratio reader / zstd -d: $(calc "$best_native / $best_reader")"
