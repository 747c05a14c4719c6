#!/usr/bin/env bash
# Unpacking speed against native limits, measured side by side in one run
# over a payload of several hundred MB of real binaries (Wine's PE DLLs):
#   cold: a bootstrap unpacking into an empty folder, against native
#         `zstd -d | tar -x` writing the same files from a tar of the same
#         folder compressed the same way (level, window);
#   warm: a bootstrap finding every file current, against native `zstd -d`
#         of the same frame to /dev/null plus a native CRC-32 of the files.
# Each time is the best of a few rounds; page caches are warm for all.
#   run.sh HOST_BUILD WINDOWS_BUILD        (WINEPREFIX exported)
set -euo pipefail
host=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
source_dlls=${EXTRACT_BENCH_SOURCE:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}
level=3 window_log=27 rounds=${EXTRACT_BENCH_ROUNDS:-3}
work=$windows/benchmarks/extract
main_program=$windows/tests/windows/data/extract/extract-app-main.exe

[ -d "$source_dlls" ] || { echo "extract bench: no folder $source_dlls" >&2; exit 2; }
[ -f "$main_program" ] || { echo "extract bench: build the Windows tests first ($main_program)" >&2; exit 2; }
rm -rf "$work" && mkdir -p "$work"

# The application: every DLL, and a main program that ends at once should
# the bootstrap start it.
app=$work/app
mkdir -p "$app"
cp -r "$source_dlls"/. "$app/"
cp "$main_program" "$app/main.exe"

"$host/tools/onefile-pack/onefile-pack" payload "$app" --main main.exe -o "$work/app.payload" \
  --level "$level" --threads 2 >/dev/null
"$host/tools/onefile-pack/onefile-pack" build --payload "$work/app.payload" -o "$work/bench.exe" -q \
  --template "$(winepath -w "$work")\\cache" --version 1.0
# The bare frame: without the magic in front and the 12 trailing bytes.
payload_size=$(stat -c %s "$work/app.payload")
tail -c +4 "$work/app.payload" | head -c $((payload_size - 3 - 12)) > "$work/app.zst"
tar -C "$app" -cf - . | zstd -q -$level -T2 --zstd=wlog=$window_log -o "$work/app.tar.zst"
cc -O2 -o "$work/crc-files" "$here/crc-files.c" -lz
(cd "$app" && find . -type f | sort) > "$work/files.txt"

# best_of NAME COMMAND...: runs the command $rounds times (with PREPARE, when
# set, run untimed before each) and stores the best time in seconds in NAME.
best_of() {
  local name=$1 best="" start end elapsed
  shift
  for _ in $(seq "$rounds"); do
    [ -n "${PREPARE:-}" ] && eval "$PREPARE"
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    elapsed=$(( end - start ))
    if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
  done
  printf -v "$name" '%d.%09d' $((best / 1000000000)) $((best % 1000000000))
}

run_bootstrap() {
  local status=0
  wine "$work/bench.exe" </dev/null >/dev/null 2>&1 || status=$?
  [ "$status" -eq 0 ] || { echo "extract bench: the bootstrap ended with $status" >&2; exit 1; }
}
untar() { zstd -q -d -c "$work/app.tar.zst" | tar -x -C "$work/untarred"; }
decode_to_null() { zstd -q -d -c "$work/app.zst" > /dev/null; }
crc_files() { (cd "$app" && "$work/crc-files" < "$work/files.txt" > /dev/null); }

cat "$work/app.zst" "$work/app.tar.zst" > /dev/null
crc_files

PREPARE='rm -rf "$work/cache"' best_of cold_bootstrap run_bootstrap
PREPARE='rm -rf "$work/untarred" && mkdir "$work/untarred"' best_of cold_limit untar
diff -rq "$app" "$work/cache" > /dev/null || { echo "extract bench: the unpacked folder differs" >&2; exit 1; }
PREPARE='' best_of warm_bootstrap run_bootstrap
PREPARE='' best_of warm_decode decode_to_null
PREPARE='' best_of warm_crc crc_files

files=$(wc -l < "$work/files.txt")
bytes=$(du -sb "$app" | cut -f1)
awk -v files="$files" -v bytes="$bytes" -v payload="$payload_size" \
    -v cb="$cold_bootstrap" -v cl="$cold_limit" -v wb="$warm_bootstrap" -v wd="$warm_decode" -v wc="$warm_crc" '
BEGIN {
  printf "payload: %d files, %.0f MB of content, %.0f MB packed (level '"$level"')\n", files, bytes / 1e6, payload / 1e6
  printf "cold: bootstrap %.3f s, zstd -d | tar -x %.3f s, ratio %.2f\n", cb, cl, cb / cl
  printf "warm: bootstrap %.3f s, zstd -d to /dev/null %.3f s + CRC-32 %.3f s = %.3f s, ratio %.2f\n", wb, wd, wc, wd + wc, wb / (wd + wc)
}'
rm -rf "$work"  # about 2 GB of copies, packed and unpacked
