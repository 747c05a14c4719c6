#!/usr/bin/env bash
# onefile-pack build of a large application against plain zstd of the same
# files: `zstd -19 --long=27` of their tar stream, at the same thread count.
# Both are timed in this run, one after the other, and reported as ratios of
# time and size. The application is the benchmarks' data set (real Windows
# code and data, benchmarks/dataset) with the benchmarks' main program.
#
#   run.sh HOST_BUILD WINDOWS_BUILD
#   BENCH_MB       data set size in MB (default 390)
#   BENCH_LEVEL    level on both sides (default 19, the packer's own)
#   BENCH_THREADS  compression threads on both sides (default 2)
set -euo pipefail
host=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
threads=${BENCH_THREADS:-2}
work=$host/benchmarks/pack
pack=$host/tools/onefile-pack/onefile-pack
mkdir -p "$work"

# The same application folder as the starts benchmark's, main program first.
bench_payload "$host" "$windows"
app=$BENCH_CACHE/app level=$BENCH_LEVEL_USED
content=$(du -sb "$app" | cut -f1)

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

start=$(now)
"$pack" build "$app" --main main.exe -o "$work/app.exe" --threads "$threads" --level "$level" -q
build_time=$(seconds "$start")
build_size=$(stat -c %s "$work/app.exe")

start=$(now)
tar -C "$app" -cf - . | zstd -q "-$level" --long=27 -T"$threads" -o "$work/app.tar.zst" -f
zstd_time=$(seconds "$start")
zstd_size=$(stat -c %s "$work/app.tar.zst")

printf 'application: %d files, %d bytes; %d threads, level %d on both sides\n' \
  "$(find "$app" -type f | wc -l)" "$content" "$threads" "$level"
printf '  onefile-pack build:         %7.1f s  %11d bytes\n' "$build_time" "$build_size"
printf '  tar | zstd --long=27:       %7.1f s  %11d bytes\n' "$zstd_time" "$zstd_size"
awk -v bt="$build_time" -v zt="$zstd_time" -v bs="$build_size" -v zs="$zstd_size" \
  'BEGIN { printf "  time ratio build/zstd: %.2f   size ratio build/zstd: %.4f\n", bt / zt, bs / zs }'
rm -f "$work/app.exe" "$work/app.tar.zst"
