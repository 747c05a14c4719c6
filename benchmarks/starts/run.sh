#!/usr/bin/env bash
# The bootstrap's starts against the physical limits and against what users
# would pick instead, measured side by side in one run on the data set of
# benchmarks/dataset (real Windows binaries), packed at the packer's default
# level. Every figure is the median of BENCH_ROUNDS rounds; within a round all
# contenders run one after the other, so a slow moment of the shared machine
# touches all of them.
#
#   warm start   the bootstrap finding every file current, to its child's end
#   cold start   the same into an empty cache folder
#   limits       native `zstd -d` + CRC-32 (warm), `zstd -d | tar -x` (cold);
#                "same calls": native `zstd -d` + what Wine alone takes for
#                the bootstrap's file calls on the same files (trivial Windows
#                programs); every limit includes Wine's cost of starting two
#                programs, measured by a trivial program in the same run;
#                Wine's cost of loading shell32, which the bootstrap needs and
#                the trivial programs do not, is reported beside them
#   re-extracting at every start, as other single-file tools do: tar.gz,
#                zip and 7z of the same folder, unpacked by their native tools
#   memory       the bootstrap's, from the child (Windows' GetProcessMemoryInfo)
#                and its peak private memory while unpacking (Linux /proc)
#
#   run.sh HOST_BUILD WINDOWS_BUILD            (WINEPREFIX exported)
#   BENCH_MB      data set size in MB (default 390)
#   BENCH_ROUNDS  rounds (default 5)
#   BENCH_LEVEL   packing level (default: the packer's own)
#   BENCH_RESULTS folder for results.md, chart.png and machine.md (default: none)
#   BENCH_VARIANTS "NAME=ONEFILE_PACK ...": other builds' onefile-pack (each
#                 carries its own bootstrap), whose warm and cold starts run in
#                 the same rounds, so that a change is measured against what it
#                 changed side by side
set -euo pipefail
host=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
rounds=${BENCH_ROUNDS:-5}
programs=$windows/benchmarks
work=$windows/benchmarks/starts-work   # unpacked copies, removed at the end
for tool in zstd tar gzip zip unzip 7zz gnuplot; do
  command -v "$tool" >/dev/null || { echo "starts bench: $tool is missing (make setup installs it)" >&2; exit 2; }
done

bench_payload "$host" "$windows"
level=$BENCH_LEVEL_USED
cache=$BENCH_CACHE
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
export BENCH_TIMES=$work/times
mkdir -p "$BENCH_TIMES"

# The other archives of the same folder, made once beside the payload.
if [ ! -f "$cache/app.7z" ]; then
  echo "making tar.zst, tar.gz, zip and 7z archives of the data set once..." >&2
  rm -f "$cache"/app.tar.* "$cache/app.zip"
  tar -C "$cache/app" -cf - . | zstd -q "-$level" -T2 --zstd=wlog=27 -o "$cache/app.tar.zst"
  tar -C "$cache/app" -cf - . | gzip -6 > "$cache/app.tar.gz"
  (cd "$cache/app" && zip -q -6 -r "$cache/app.zip" .)
  (cd "$cache/app" && 7zz a -bd -t7z -m0=lzma2 -mmt=2 "$cache/app.7z.part" . >/dev/null)
  mv "$cache/app.7z.part" "$cache/app.7z"  # last: its presence says all are there
fi
app=$cache/app
cc -O2 -o "$work/crc-files" "$here/crc-files.c" -lz
# bootstrap NAME ONEFILE_PACK: NAME.exe around the payload, unpacking into the
# work folder's cache.
bootstrap() {
  "$2" build --payload "$cache/app.payload" -o "$work/$1.exe" -q \
    --template "$(wine_path "$work")\\cache" --version 1.0
}
bootstrap bench "$host/tools/onefile-pack/onefile-pack"
variants=()
for variant in ${BENCH_VARIANTS:-}; do
  variants+=("${variant%%=*}")
  bootstrap "variant-${variant%%=*}" "${variant#*=}"
done

# --- the contenders ----------------------------------------------------------
# start NAME EXE: one start of a bootstrap, its wall time as NAME and the CPU
# time of its own process (user + system, 10 ms steps) as cpu_NAME. The CPU
# time leaves out Wine's server and what other work on the machine takes,
# which makes it the steadier measure of a change to the bootstrap's code.
start() {
  local name=$1 cpu=$work/cpu-time
  timed "$name" /usr/bin/time -f '%U %S' -o "$cpu" wine "$2" </dev/null >/dev/null 2>&1 ||
    { echo "starts bench: $2 failed" >&2; exit 1; }
  record "cpu_$name" "$(awk 'END { print $1 + $2 }' "$cpu")"
}
run_wine() {
  local status=0
  wine "$@" </dev/null >/dev/null 2>&1 || status=$?
  [ "$status" -eq 0 ] || { echo "starts bench: $1 ended with status $status" >&2; exit 1; }
}
# fresh FOLDER [keep-missing]: an empty (or no) folder to unpack into, with
# every earlier write on its way to disk, so that no contender is held up by
# the write-back of the one before it.
fresh() {
  rm -rf "${work:?}/$1"
  [ "${2:-}" = keep-missing ] || mkdir "$work/$1"
  sync
}
native_decode() { zstd -q -d -c "$cache/app.zst" > /dev/null; }
native_crc() { (cd "$app" && "$work/crc-files" < "$cache/files.txt" > /dev/null); }
untar_zstd() { zstd -q -d -c "$cache/app.tar.zst" | tar -x -C "$work/out"; }
untar_gzip() { tar -xzf "$cache/app.tar.gz" -C "$work/out"; }
unpack_zip() { unzip -q "$cache/app.zip" -d "$work/out"; }
unpack_7z() { 7zz x -bd -y "-o$work/out" "$cache/app.7z" >/dev/null; }
# A trivial program's own timing of its file calls (its start excluded).
wine_calls() {
  local name=$1 output
  shift
  output=$(wine "$@" </dev/null 2>/dev/null | tr -d '\r')
  [ -n "$output" ] || { echo "starts bench: $2 failed" >&2; exit 1; }
  record "$name" "${output%% *}"
}

cat "$cache"/app.* > /dev/null  # into the page cache, for all alike
native_crc
run_wine "$programs/bench-start-two.exe" "$(wine_path "$programs/bench-app-main.exe")"
for round in $(seq "$rounds"); do
  echo "round $round of $rounds" >&2
  timed start_two run_wine "$programs/bench-start-two.exe" "$(wine_path "$programs/bench-app-main.exe")"
  timed start_two_shell run_wine "$programs/bench-start-two-shell.exe" "$(wine_path "$programs/bench-app-main.exe")"
  fresh cache keep-missing
  start cold "$work/bench.exe"
  start warm "$work/bench.exe"
  for variant in "${variants[@]}"; do
    fresh cache keep-missing
    start "cold_$variant" "$work/variant-$variant.exe"
    start "warm_$variant" "$work/variant-$variant.exe"
  done
  timed decode native_decode
  timed crc native_crc
  wine_calls check_calls "$programs/bench-check-files.exe" "$(wine_path "$app")"
  fresh written keep-missing
  wine_calls write_calls "$programs/bench-write-files.exe" "$(wine_path "$app")" "$(wine_path "$work/written")"
  fresh out; timed untar untar_zstd
  fresh out; timed tar_gz untar_gzip
  fresh out; timed zip unpack_zip
  fresh out; timed 7z unpack_7z
done
# Exactness: the bootstrap's cache holds every byte of the folder.
diff -rq "$app" "$work/cache" > /dev/null || { echo "starts bench: the unpacked folder differs" >&2; exit 1; }

# --- memory ---------------------------------------------------------------
# Read from Linux (/proc), since Wine's GetProcessMemoryInfo of another process
# counts only swapped-out memory as private: RssAnon, the process's anonymous
# resident memory, is what Windows calls its private bytes. Sampled every
# 10 ms through a start; "while the child runs" is the sample taken once the
# held child has signalled.
# memory_of PREPARE COMMAND...: prints "<peak private kB> <private kB while the child runs>".
memory_of() {
  local signal=$work/child-started peak=0 during=0 kb pid
  rm -f "$signal"
  eval "$1"
  shift
  ONEFILE_BENCH_HOLD=$(wine_path "$signal") wine "$@" </dev/null >/dev/null 2>&1 &
  pid=$!
  while kb=$(awk '/^RssAnon:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) && [ -n "$kb" ]; do
    [ "$kb" -gt "$peak" ] && peak=$kb
    [ "$during" -eq 0 ] && [ -f "$signal" ] && during=$kb
    sleep 0.01
  done
  wait "$pid"
  [ "$during" -gt 0 ] || { echo "starts bench: the child never signalled during $1" >&2; exit 1; }
  echo "$peak $during"
}
read -r cold_peak_kb cold_during_kb < <(memory_of 'fresh cache keep-missing' "$work/bench.exe")
read -r warm_peak_kb warm_during_kb < <(memory_of ':' "$work/bench.exe")
read -r _ trivial_during_kb < <(memory_of ':' "$programs/bench-start-two.exe" \
  "$(wine_path "$programs/bench-app-main.exe")")

# --- figures ------------------------------------------------------------------
payload_size=$(stat -c %s "$cache/app.payload")
exe_size=$(stat -c %s "$work/bench.exe")
content=$(du -sb "$app" | cut -f1)
file_count=$(wc -l < "$cache/files.txt")
for name in start_two start_two_shell cold warm decode crc check_calls write_calls untar tar_gz zip 7z; do
  printf -v "m_$name" '%s' "$(median "$name")"
done
warm_native=$(calc "$m_decode + $m_crc + $m_start_two")
warm_same=$(calc "$m_decode + $m_check_calls + $m_start_two")
cold_native=$(calc "$m_untar + $m_start_two")
cold_same=$(calc "$m_decode + $m_write_calls + $m_start_two")
reextract() { calc "$1 + $m_start_two"; }
# What the trivial programs leave out: every start of the bootstrap loads
# shell32 (CommandLineToArgvW, SHGetFolderPathW), which under Wine costs more
# than a program's whole start.
shell_load=$(calc "$m_start_two_shell - $m_start_two")

table=$work/results.md
{
  echo "Data set: $file_count files, $(calc "$content / 1e6") MB ($(calc "$content") bytes), packed to" \
       "$(calc "$payload_size / 1e6") MB at level $level; medians of $rounds rounds."
  echo
  echo "| Start | Time (s) | Limit | Limit (s) | Ratio |"
  echo "|---|---|---|---|---|"
  echo "| warm | $m_warm | native: zstd -d + CRC-32 + Wine start | $warm_native | $(calc "$m_warm / $warm_native") |"
  echo "| warm | $m_warm | same calls: zstd -d + Wine's file check + Wine start | $warm_same | $(calc "$m_warm / $warm_same") |"
  echo "| cold | $m_cold | native: zstd -d \| tar -x + Wine start | $cold_native | $(calc "$m_cold / $cold_native") |"
  echo "| cold | $m_cold | same calls: zstd -d + Wine's writes + Wine start | $cold_same | $(calc "$m_cold / $cold_same") |"
  echo
  echo "Not in the limits: Wine's loading of shell32, which the bootstrap needs at every start" \
       "(CommandLineToArgvW, SHGetFolderPathW) and the trivial programs do not load, $shell_load s." \
       "With it, the ratios to the same-calls limits are $(calc "$m_warm / ($warm_same + $shell_load)") (warm)" \
       "and $(calc "$m_cold / ($cold_same + $shell_load)") (cold)."
  if [ ${#variants[@]} -gt 0 ]; then
    echo
    echo "| Build, same rounds | warm (s) | CPU (s) | cold (s) | CPU (s) | this build / it: warm, CPU, cold, CPU |"
    echo "|---|---|---|---|---|---|"
    cpu_warm=$(median cpu_warm) cpu_cold=$(median cpu_cold)
    echo "| this build | $m_warm | $cpu_warm | $m_cold | $cpu_cold | |"
    for variant in "${variants[@]}"; do
      w=$(median "warm_$variant") c=$(median "cold_$variant")
      cw=$(median "cpu_warm_$variant") cc=$(median "cpu_cold_$variant")
      echo "| $variant | $w | $cw | $c | $cc | $(calc "$m_warm / $w"), $(calc "$cpu_warm / $cw")," \
           "$(calc "$m_cold / $c"), $(calc "$cpu_cold / $cc") |"
    done
  fi
  echo
  echo "| Re-extracting at every start | Time (s) | × our warm start | × our cold start |"
  echo "|---|---|---|---|"
  for pair in "tar.gz (gzip -6):$m_tar_gz" "zip (deflate):$m_zip" "7z (LZMA2):$m_7z"; do
    t=$(reextract "${pair##*:}")
    echo "| ${pair%%:*} | $t | $(calc "$t / $m_warm") | $(calc "$t / $m_cold") |"
  done
  echo
  echo "| Part | Time (s) |"
  echo "|---|---|"
  echo "| Wine starting two programs | $m_start_two |"
  echo "| Wine starting two programs, the first loading shell32 | $m_start_two_shell |"
  echo "| native zstd -d | $m_decode |"
  echo "| native CRC-32 (mapped) | $m_crc |"
  echo "| Wine: open, map, CRC-32, unmap, close | $m_check_calls |"
  echo "| Wine: create, 32 KiB writes, close | $m_write_calls |"
  echo "| native zstd -d \| tar -x | $m_untar |"
  echo
  echo "| Private memory (Linux RssAnon, sampled every 10 ms) | MB |"
  echo "|---|---|"
  echo "| bootstrap, peak while unpacking (cold start) | $(calc "$cold_peak_kb / 1024") |"
  echo "| bootstrap, peak while checking (warm start) | $(calc "$warm_peak_kb / 1024") |"
  echo "| bootstrap, while the child runs (cold start) | $(calc "$cold_during_kb / 1024") |"
  echo "| bootstrap, while the child runs (warm start) | $(calc "$warm_during_kb / 1024") |"
  echo "| trivial program, while the child it started runs | $(calc "$trivial_during_kb / 1024") |"
  echo
  echo "Size the bootstrap adds to the payload: $((exe_size - payload_size)) bytes."
} > "$table"
cat "$table"

[ -n "${BENCH_RESULTS:-}" ] || exit 0
mkdir -p "$BENCH_RESULTS"
cp "$table" "$BENCH_RESULTS/results.md"
{
  echo "\"warm start\" $m_warm 1"
  echo "\"warm limit,\\nsame calls\" $warm_same 2"
  echo "\"warm limit,\\nnative\" $warm_native 2"
  echo "\"cold start\" $m_cold 1"
  echo "\"cold limit,\\nsame calls\" $cold_same 2"
  echo "\"cold limit,\\nnative\" $cold_native 2"
  echo "\"tar.gz\" $(reextract "$m_tar_gz") 3"
  echo "\"zip\" $(reextract "$m_zip") 3"
  echo "\"7z\" $(reextract "$m_7z") 3"
} > "$work/chart.dat"
gnuplot <<GNUPLOT
set terminal pngcairo size 900,500 font "sans,10"
set bmargin 4
set output "$BENCH_RESULTS/chart.png"
set title "Start of a packed application, $(calc "$content / 1e6") MB in $file_count files (medians of $rounds, under Wine)"
set ylabel "seconds"
set style fill solid 0.8 border -1
set boxwidth 0.7
set yrange [0:*]
set xtics nomirror
set grid ytics
unset key
set palette defined (1 "#2b6cb0", 2 "#a0aec0", 3 "#c05621")
unset colorbox
plot "$work/chart.dat" using 0:2:3:xtic(1) with boxes palette, \
     "" using 0:2:(sprintf("%.2f", \$2)) with labels offset 0,0.7
GNUPLOT
{
  echo "Measured on: $(lscpu | awk -F: '/^Model name/ { gsub(/^ +/, "", $2); print $2 }'), $(nproc) cores" \
       "(shared with other work), $(free -g | awk '/^Mem:/ { print $2 }') GB of memory, Linux $(uname -r)"
  echo "Files on: $(df -T "$work" | awk 'NR == 2 { print $2 }'), page cache warm for every contender"
  echo "Wine $(wine --version | sed 's/^wine-//'), zstd $(zstd -V | grep -o 'v[0-9.]*'), gzip $(gzip -V | awk 'NR == 1 { print $2 }')," \
       "UnZip $(unzip -v | awk 'NR == 1 { print $2 }'), 7-Zip $(7zz | awk 'NF { print $3; exit }')"
} > "$BENCH_RESULTS/machine.md"
