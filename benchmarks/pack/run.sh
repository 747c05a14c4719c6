#!/usr/bin/env bash
# onefile-pack build of a large application against plain zstd of the same
# files: `zstd -19 --long=27` of their tar stream, at the same thread count.
# Both are timed in this run, one after the other, and reported as ratios of
# time and size. The application is Wine's own PE libraries (real Windows
# code and data), copied once into the host build.
#
#   run.sh HOST_BUILD WINDOWS_BUILD
#   BENCH_MIB      application size to aim for (default 390)
#   BENCH_THREADS  compression threads on both sides (default 2)
set -euo pipefail
host=$(cd "$1" && pwd)
mib=${BENCH_MIB:-390} threads=${BENCH_THREADS:-2}
work=$host/benchmarks/pack
source_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
pack=$host/tools/onefile-pack/onefile-pack
mkdir -p "$work"

app=$work/app-$mib
if [ ! -d "$app" ]; then
  rm -rf "$app.tmp" && mkdir -p "$app.tmp"
  cp "$source_dlls/notepad.exe" "$app.tmp/main.exe"
  total=0
  for f in "$source_dlls"/*; do
    [ "$total" -ge $((mib * 1024 * 1024)) ] && break
    cp "$f" "$app.tmp/"
    total=$((total + $(stat -c %s "$f")))
  done
  mv "$app.tmp" "$app"
fi
content=$(du -sb "$app" | cut -f1)

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

start=$(now)
"$pack" build "$app" --main main.exe -o "$work/app.exe" --threads "$threads" -q
build_time=$(seconds "$start")
build_size=$(stat -c %s "$work/app.exe")

start=$(now)
tar -C "$app" -cf - . | zstd -q -19 --long=27 -T"$threads" -o "$work/app.tar.zst" -f
zstd_time=$(seconds "$start")
zstd_size=$(stat -c %s "$work/app.tar.zst")

printf 'application: %d files, %d bytes; %d threads, level 19 on both sides\n' \
  "$(find "$app" -type f | wc -l)" "$content" "$threads"
printf '  onefile-pack build:         %7.1f s  %11d bytes\n' "$build_time" "$build_size"
printf '  tar | zstd -19 --long=27:   %7.1f s  %11d bytes\n' "$zstd_time" "$zstd_size"
awk -v bt="$build_time" -v zt="$zstd_time" -v bs="$build_size" -v zs="$zstd_size" \
  'BEGIN { printf "  time ratio build/zstd: %.2f   size ratio build/zstd: %.4f\n", bt / zt, bs / zs }'
rm -f "$work/app.exe" "$work/app.tar.zst"
