#!/usr/bin/env bash
# The bootstrap's starts against the physical limits and against what users
# would pick instead, measured side by side in one run on both shapes of
# application: the large-file data set of benchmarks/dataset/build.sh (real
# Windows binaries in one folder) and the many-file one of
# benchmarks/dataset/many-files.sh (a language runtime's library, thousands of
# small files in nested folders), each packed at the packer's default level.
# Every figure is the median of BENCH_ROUNDS rounds; within a round all
# contenders of both shapes run one after the other, so a slow moment of the
# shared machine touches all of them.
#
#   warm start   the bootstrap finding every file current, to its child's end
#   cold start   the same into an empty cache folder
#   limits       native `zstd -d` + CRC-32 (warm), `zstd -d | tar -x` (cold);
#                "check only": what Wine alone takes to check every file as
#                a warm start does when it decodes nothing (a trivial program);
#                "same calls": native `zstd -d` + what Wine alone takes for
#                the bootstrap's file calls on the same files (trivial Windows
#                programs); every limit includes Wine's cost of starting two
#                programs, measured by a trivial program in the same run;
#                Wine's cost of loading shell32, which the bootstrap needs and
#                the trivial programs do not, is reported beside them
#   re-extracting at every start, as other single-file tools do: tar.gz,
#                zip and 7z of the same folder, unpacked by their native tools
#                (the lower bound: they pay none of Wine's cost per file), and
#                the zip and the 7z unpacked by 7-Zip's Windows console program
#                under the same Wine, as a Windows user's re-extracting peer
#                pays it (its own start included, its application's not)
#   old versions a warm start built with --remove-old-versions, with no older
#                version beside its folder, against the same start without
#                the option: the one listing of the parent that it adds
#   memory       the bootstrap's, from the child (Windows' GetProcessMemoryInfo)
#                and its peak private memory while unpacking (Linux /proc)
#
#   run.sh HOST_BUILD WINDOWS_BUILD            (WINEPREFIX exported)
#   BENCH_MB      large-file data set size in MB (default 390)
#   BENCH_MANY_MB many-file data set size in MB (default: the whole library)
#   DEPS_DIR      where the set-up put 7za.exe (windows-programs/)
#   BENCH_ROUNDS  rounds (default 5)
#   BENCH_LEVEL   packing level (default: the packer's own)
#   BENCH_RESULTS folder for results.md, chart.png and machine.md (default: none)
#   BENCH_WORK    folder to unpack into (default: one on /dev/shm, see below)
#   BENCH_VARIANTS "NAME=ONEFILE_PACK ...": other builds' onefile-pack (each
#                 carries its own bootstrap and packs the data sets itself),
#                 whose warm and cold starts run in the same rounds, so that a
#                 change is measured against what it changed side by side
set -euo pipefail
host=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
rounds=${BENCH_ROUNDS:-5}
programs=$windows/benchmarks
shapes=(large many)
declare -A shape_title=([large]="large files" [many]="many small files")
for tool in zstd tar gzip zip unzip 7zz gnuplot; do
  command -v "$tool" >/dev/null || { echo "starts bench: $tool is missing (make setup installs it)" >&2; exit 2; }
done
sevenza=${DEPS_DIR:-$here/../../.deps}/windows-programs/7za.exe
[ -f "$sevenza" ] || { echo "starts bench: no $sevenza (make setup fetches it)" >&2; exit 2; }

# Where the starts unpack (removed at the end): a memory file system when
# there is one with room (8 GB). On a disk, what making thousands of files costs
# depends on what the file system did in the minutes before (ext4 passes over
# the inodes of files deleted in the last minute or more, and block groups
# not used yet are slower to fill), which no contender controls: it swung one
# contender's figures against another's from round to round. BENCH_WORK
# names another folder.
bench_work starts "$windows" 8
cc -O2 -o "$work/crc-files" "$here/crc-files.c" -lz
server=$(wine_server_pid)

# bootstrap NAME ONEFILE_PACK SHAPE: NAME.exe around the shape's payload,
# unpacking into the work folder's cache-SHAPE.
bootstrap() {
  "$2" build --payload "${cache_of[$3]}/app.payload" -o "$work/$1.exe" -q \
    --template "$(wine_path "$work")\\cache-$3" --version 1.0
}
# variant_bootstrap NAME ONEFILE_PACK SHAPE: the same from the shape's folder,
# packed by that build's own packer at the same level, so that a change of
# the payload's format (a frame checksum) is measured with the change.
variant_bootstrap() {
  "$2" build "${cache_of[$3]}/app" --main main.exe --level "${level_of[$3]}" -o "$work/$1.exe" -q \
    --template "$(wine_path "$work")\\cache-$3" --version 1.0
}

# versions_bootstrap NAME SHAPE [OPTION]: NAME.exe around the shape's payload,
# unpacking into versions-SHAPE\1.0, a template whose older versions lie
# beside it; OPTION is --remove-old-versions or nothing.
versions_bootstrap() {
  "$host/tools/onefile-pack/onefile-pack" build --payload "${cache_of[$2]}/app.payload" -o "$work/$1.exe" -q \
    --template "$(wine_path "$work")\\versions-$2\\{VERSION}" --version 1.0 ${3:+"$3"}
}

# The data sets, and the other archives of the same folders, made once beside
# their payloads.
declare -A cache_of level_of
for shape in "${shapes[@]}"; do
  bench_payload "$host" "$windows" "$shape"
  cache=$BENCH_CACHE level=$BENCH_LEVEL_USED
  cache_of[$shape]=$cache level_of[$shape]=$level
  if [ ! -f "$cache/app.7z" ]; then
    echo "making tar.zst, tar.gz, zip and 7z archives of the $shape data set once..." >&2
    rm -f "$cache"/app.tar.* "$cache/app.zip"
    tar -C "$cache/app" -cf - . | zstd -q "-$level" -T2 --zstd=wlog=27 -o "$cache/app.tar.zst"
    tar -C "$cache/app" -cf - . | gzip -6 > "$cache/app.tar.gz"
    (cd "$cache/app" && zip -q -6 -r "$cache/app.zip" .)
    (cd "$cache/app" && 7zz a -bd -t7z -m0=lzma2 -mmt=2 "$cache/app.7z.part" . >/dev/null)
    mv "$cache/app.7z.part" "$cache/app.7z"  # last: its presence says all are there
  fi
done
for shape in "${shapes[@]}"; do
  bootstrap "bench-$shape" "$host/tools/onefile-pack/onefile-pack" "$shape"
  versions_bootstrap "versions-kept-$shape" "$shape"
  versions_bootstrap "versions-removed-$shape" "$shape" --remove-old-versions
done
variants=()
for variant in ${BENCH_VARIANTS:-}; do
  variants+=("${variant%%=*}")
  for shape in "${shapes[@]}"; do
    variant_bootstrap "variant-${variant%%=*}-$shape" "${variant#*=}" "$shape"
  done
done

# --- the contenders ----------------------------------------------------------
# with_work NAME COMMAND...: runs a command and records the processor time
# (user + system, 10 ms steps) of its own process as cpu_NAME and what Wine's
# server spent meanwhile as server_NAME. Processor time leaves out waiting and
# what other work on the machine takes, which makes it the steadier measure:
# of a change to the bootstrap's code, and of whether a start does more work
# than the parts of its limit or only waits longer.
with_work() {
  local name=$1 cpu=$work/cpu-time before
  shift
  before=$(process_seconds "$server")
  /usr/bin/time -f '%U %S' -o "$cpu" "$@" || return
  record "server_$name" "$(calc "$(process_seconds "$server") - $before")"
  record "cpu_$name" "$(awk 'END { print $1 + $2 }' "$cpu")"
}
# start NAME EXE: one start of a bootstrap: its wall time as NAME, and its
# work (with_work).
start() {
  timed "$1" with_work "$1" wine "$2" </dev/null >/dev/null 2>&1 ||
    { echo "starts bench: $2 failed" >&2; exit 1; }
}
# Under load Wine now and then fails to start a process (error 1359), which
# ends the program that started it with its failure status: a run that fails
# is made again, twice at most, and said; the median takes the odd slow round.
run_wine() {
  local status attempt
  for attempt in 1 2 3; do
    status=0
    wine "$@" </dev/null >/dev/null 2>&1 || status=$?
    [ "$status" -ne 0 ] || return 0
    echo "starts bench: $1 ended with status $status (attempt $attempt of 3)" >&2
  done
  exit 1
}
# fresh FOLDER [keep-missing]: an empty (or no) folder to unpack into, with
# every earlier write on its way to disk, so that no contender is held up by
# the write-back of the one before it.
fresh() {
  rm -rf "${work:?}/$1"
  [ "${2:-}" = keep-missing ] || mkdir "$work/$1"
  sync
}
# The contenders below read the shape's data set from $cache and $app.
native_decode() { with_work "${s}_decode" zstd -q -d -c "$cache/app.zst" > /dev/null; }
native_crc() { (cd "$app" && "$work/crc-files" < "$cache/files.txt" > /dev/null); }
untar_zstd() { zstd -q -d -c "$cache/app.tar.zst" | tar -x -C "$work/out"; }
untar_gzip() { tar -xzf "$cache/app.tar.gz" -C "$work/out"; }
unpack_zip() { unzip -q "$cache/app.zip" -d "$work/out"; }
unpack_7z() { 7zz x -bd -y "-o$work/out" "$cache/app.7z" >/dev/null; }
# 7-Zip's Windows console program unpacking ARCHIVE under the same Wine.
wine_7za() { run_wine "$sevenza" x -bd -y "-o$(wine_path "$work/out")" "$(wine_path "$1")"; }
wine_7za_zip() { wine_7za "$cache/app.zip"; }
wine_7za_7z() { wine_7za "$cache/app.7z"; }
# A trivial program's own timing of its file calls (its start excluded), and
# its work (with_work: its start and its listing of the folder included).
wine_calls() {
  local name=$1 output
  shift
  output=$(with_work "$name" wine "$@" </dev/null 2>/dev/null | tr -d '\r')
  [ -n "$output" ] || { echo "starts bench: $2 failed" >&2; exit 1; }
  record "$name" "${output%% *}"
}

# builds_of SHAPE SUFFIX:EXE...: a cold and a warm start of each build.
builds_of() {
  local s=$1 build
  shift
  for build in "$@"; do
    fresh "cache-$s" keep-missing
    start "${s}_cold${build%%:*}" "${build#*:}"
    start "${s}_warm${build%%:*}" "${build#*:}"
  done
}

# round_of SHAPE ROUND: every contender of one shape once. This build and
# the variants take turns in going first, so that neither always starts
# right after the other's writes.
round_of() {
  local s=$1 variant builds=()
  cache=${cache_of[$s]} app=${cache_of[$s]}/app
  for variant in "${variants[@]}"; do builds+=("_$variant:$work/variant-$variant-$s.exe"); done
  if [ $(($2 % 2)) -eq 1 ]; then
    builds_of "$s" ":$work/bench-$s.exe" "${builds[@]}"
  else
    builds_of "$s" "${builds[@]}" ":$work/bench-$s.exe"
  fi
  # Warm starts of the same cache folder, built without and with the removal
  # of older versions (none there), taking turns in going first.
  [ -d "$work/versions-$s/1.0" ] || run_wine "$work/versions-kept-$s.exe"
  if [ $(($2 % 2)) -eq 1 ]; then
    start "${s}_versions_kept" "$work/versions-kept-$s.exe"
    start "${s}_versions_removed" "$work/versions-removed-$s.exe"
  else
    start "${s}_versions_removed" "$work/versions-removed-$s.exe"
    start "${s}_versions_kept" "$work/versions-kept-$s.exe"
  fi
  timed "${s}_decode" native_decode
  timed "${s}_crc" native_crc
  wine_calls "${s}_check_calls" "$programs/bench-check-files.exe" "$(wine_path "$app")"
  fresh written keep-missing
  wine_calls "${s}_write_calls" "$programs/bench-write-files.exe" "$(wine_path "$app")" "$(wine_path "$work/written")"
  fresh out; timed "${s}_untar" untar_zstd
  fresh out; timed "${s}_tar_gz" untar_gzip
  fresh out; timed "${s}_zip" unpack_zip
  fresh out; timed "${s}_7z" unpack_7z
  fresh out; timed "${s}_7za_zip" wine_7za_zip
  fresh out; timed "${s}_7za_7z" wine_7za_7z
}

for shape in "${shapes[@]}"; do
  cat "${cache_of[$shape]}"/app.* > /dev/null  # into the page cache, for all alike
  (cd "${cache_of[$shape]}/app" && "$work/crc-files" < "${cache_of[$shape]}/files.txt" > /dev/null)
done
run_wine "$programs/bench-start-two.exe" "$(wine_path "$programs/bench-app-main.exe")"
for round in $(seq "$rounds"); do
  echo "round $round of $rounds" >&2
  timed start_two run_wine "$programs/bench-start-two.exe" "$(wine_path "$programs/bench-app-main.exe")"
  timed start_two_shell run_wine "$programs/bench-start-two-shell.exe" "$(wine_path "$programs/bench-app-main.exe")"
  for shape in "${shapes[@]}"; do round_of "$shape" "$round"; done
done
# Exactness: the bootstrap's caches hold every byte of their folders.
for shape in "${shapes[@]}"; do
  diff -rq "${cache_of[$shape]}/app" "$work/cache-$shape" > /dev/null ||
    { echo "starts bench: the unpacked $shape folder differs" >&2; exit 1; }
  diff -rq "${cache_of[$shape]}/app" "$work/versions-$shape/1.0" > /dev/null ||
    { echo "starts bench: the unpacked $shape folder of the versions' starts differs" >&2; exit 1; }
done

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
declare -A memory
for shape in "${shapes[@]}"; do
  memory[${shape}_cold]=$(memory_of "fresh cache-$shape keep-missing" "$work/bench-$shape.exe")
  memory[${shape}_warm]=$(memory_of ':' "$work/bench-$shape.exe")
done
read -r _ trivial_during_kb < <(memory_of ':' "$programs/bench-start-two.exe" \
  "$(wine_path "$programs/bench-app-main.exe")")

# --- figures ------------------------------------------------------------------
m_start_two=$(median start_two) m_start_two_shell=$(median start_two_shell)
# What the trivial programs leave out: every start of the bootstrap loads
# shell32 (CommandLineToArgvW, SHGetFolderPathW), which under Wine costs more
# than a program's whole start.
shell_load=$(calc "$m_start_two_shell - $m_start_two")
reextract() { calc "$1 + $m_start_two"; }
declare -A f
for shape in "${shapes[@]}"; do
  for name in cold warm decode crc check_calls write_calls untar tar_gz zip 7z 7za_zip 7za_7z; do
    f[${shape}_$name]=$(median "${shape}_$name")
  done
  f[${shape}_warm_native]=$(calc "${f[${shape}_decode]} + ${f[${shape}_crc]} + $m_start_two")
  f[${shape}_warm_same]=$(calc "${f[${shape}_decode]} + ${f[${shape}_check_calls]} + $m_start_two")
  f[${shape}_warm_check]=$(calc "${f[${shape}_check_calls]} + $m_start_two")
  f[${shape}_cold_native]=$(calc "${f[${shape}_untar]} + $m_start_two")
  f[${shape}_cold_same]=$(calc "${f[${shape}_decode]} + ${f[${shape}_write_calls]} + $m_start_two")
done

# shape_description SHAPE: one line on the shape's data set.
shape_description() {
  local s=$1 cache=${cache_of[$1]} content files dirs
  content=$(du -sb "$cache/app" | cut -f1)
  files=$(wc -l < "$cache/files.txt")
  dirs=$(find "$cache/app" -mindepth 1 -type d | wc -l)
  echo "- ${shape_title[$s]}: $files files in $dirs folders below the application's, $(calc "$content / 1e6") MB" \
       "($content bytes), packed to $(calc "$(stat -c %s "$cache/app.payload") / 1e6") MB at level ${level_of[$s]}"
}
# frames_description SHAPE: the payload's frames, and its size against the
# same folder packed into one frame without an index.
frames_description() {
  local s=$1 cache=${cache_of[$1]} grouped single
  grouped=$(stat -c %s "$cache/app.payload") single=$(stat -c %s "$cache/app-one-frame.payload")
  echo "- ${shape_title[$s]}: $("$host/tools/onefile-pack/onefile-pack" list "$cache/app.payload" | tail -1);" \
       "$grouped bytes against $single in one frame without an index ($(calc "($grouped / $single - 1) * 100") %)"
}
limit_rows() {
  local s=$1 t=${shape_title[$1]} w=${f[${1}_warm]} c=${f[${1}_cold]}
  echo "| $t | warm | $w | native: zstd -d + CRC-32 + Wine start | ${f[${s}_warm_native]} | $(calc "$w / ${f[${s}_warm_native]}") |"
  echo "| $t | warm | $w | same calls: zstd -d + Wine's file check + Wine start | ${f[${s}_warm_same]} | $(calc "$w / ${f[${s}_warm_same]}") |"
  echo "| $t | warm | $w | check only: Wine's file check + Wine start | ${f[${s}_warm_check]} | $(calc "$w / ${f[${s}_warm_check]}") |"
  echo "| $t | cold | $c | native: zstd -d \| tar -x + Wine start | ${f[${s}_cold_native]} | $(calc "$c / ${f[${s}_cold_native]}") |"
  echo "| $t | cold | $c | same calls: zstd -d + Wine's writes + Wine start | ${f[${s}_cold_same]} | $(calc "$c / ${f[${s}_cold_same]}") |"
}
# The native tools' rows add Wine's start of the two programs that a start
# runs; 7za.exe's time already holds its own start under Wine and leaves out
# the start of the application it would be followed by.
peer_rows() {
  local s=$1 t=${shape_title[$1]} pair time
  for pair in "native tar.gz (gzip -6)|$(reextract "${f[${s}_tar_gz]}")" \
              "native zip (deflate)|$(reextract "${f[${s}_zip]}")" \
              "native 7z (LZMA2)|$(reextract "${f[${s}_7z]}")" \
              "7za.exe under Wine, zip|${f[${s}_7za_zip]}" \
              "7za.exe under Wine, 7z|${f[${s}_7za_7z]}"; do
    time=${pair##*|}
    echo "| $t | ${pair%%|*} | $time | $(calc "$time / ${f[${s}_warm]}") | $(calc "$time / ${f[${s}_cold]}") |"
  done
}
part_rows() {
  local s=$1 t=${shape_title[$1]}
  echo "| $t | native zstd -d | ${f[${s}_decode]} |"
  echo "| $t | native CRC-32 (mapped) | ${f[${s}_crc]} |"
  echo "| $t | Wine: open, map, CRC-32, unmap, close | ${f[${s}_check_calls]} |"
  echo "| $t | Wine: create, 32 KiB writes, close | ${f[${s}_write_calls]} |"
  echo "| $t | native zstd -d \| tar -x | ${f[${s}_untar]} |"
}
memory_rows() {
  local s=$1 t=${shape_title[$1]} cold_peak cold_during warm_peak warm_during
  read -r cold_peak cold_during <<<"${memory[${s}_cold]}"
  read -r warm_peak warm_during <<<"${memory[${s}_warm]}"
  echo "| $t | bootstrap, peak while unpacking (cold start) | $(calc "$cold_peak / 1024") |"
  echo "| $t | bootstrap, peak while checking (warm start) | $(calc "$warm_peak / 1024") |"
  echo "| $t | bootstrap, while the child runs (cold start) | $(calc "$cold_during / 1024") |"
  echo "| $t | bootstrap, while the child runs (warm start) | $(calc "$warm_during / 1024") |"
}
# What a start and the parts of its same-calls limit made the processor do:
# the start's process and Wine's server for it, against native zstd -d, the
# trivial program and Wine's server for it. Equal work and a longer time
# mean waiting, not doing more.
work_rows() {
  local s=$1 t=${shape_title[$1]} files pair kind program own_cpu own_server decode p_cpu p_server
  files=$(wc -l < "${cache_of[$s]}/files.txt")
  decode=$(median "cpu_${s}_decode")
  for pair in warm:check_calls cold:write_calls; do
    kind=${pair%%:*} program=${pair#*:}
    own_cpu=$(median "cpu_${s}_$kind") own_server=$(median "server_${s}_$kind")
    p_cpu=$(median "cpu_${s}_$program") p_server=$(median "server_${s}_$program")
    echo "| $t | $kind | $own_cpu | $own_server | $decode + $p_cpu + $p_server |" \
         "$(calc "($own_cpu + $own_server) / ($decode + $p_cpu + $p_server)") |" \
         "$(calc "$own_server / $files * 1e6"), $(calc "$p_server / $files * 1e6") |"
  done
}
variant_rows() {
  local s=$1 t=${shape_title[$1]} variant w c cw cc
  local mw=${f[${s}_warm]} mc=${f[${s}_cold]} cpu_warm cpu_cold
  cpu_warm=$(median "cpu_${s}_warm") cpu_cold=$(median "cpu_${s}_cold")
  echo "| $t | this build | $mw | $cpu_warm | $mc | $cpu_cold | |"
  for variant in "${variants[@]}"; do
    w=$(median "${s}_warm_$variant") c=$(median "${s}_cold_$variant")
    cw=$(median "cpu_${s}_warm_$variant") cc=$(median "cpu_${s}_cold_$variant")
    echo "| $t | $variant | $w | $cw | $c | $cc | $(calc "$mw / $w"), $(calc "$cpu_warm / $cw")," \
         "$(calc "$mc / $c"), $(calc "$cpu_cold / $cc") |"
  done
}

versions_rows() {
  local s=$1 kept removed cpu_kept cpu_removed
  kept=$(median "${s}_versions_kept") removed=$(median "${s}_versions_removed")
  cpu_kept=$(median "cpu_${s}_versions_kept") cpu_removed=$(median "cpu_${s}_versions_removed")
  echo "| ${shape_title[$s]} | same cache folder, same rounds | $kept | $cpu_kept | $removed | $cpu_removed |" \
       "$(calc "$removed / $kept"), $(calc "$cpu_removed / $cpu_kept") |"
}

# table_head COLUMN...: after a blank line, a table's head row and the row
# that marks it as one.
table_head() {
  echo
  printf '|'; printf ' %s |' "$@"; echo
  printf '|'; printf -- '---|%.0s' "$@"; echo
}

# shape_table ROWS COLUMN...: a table whose rows are ROWS SHAPE for each data set.
shape_table() {
  local rows=$1 shape
  shift
  table_head "$@"
  for shape in "${shapes[@]}"; do "$rows" "$shape"; done
}

table=$work/results.md
{
  echo "Data sets, medians of $rounds rounds, both shapes in the same rounds:"
  echo
  for shape in "${shapes[@]}"; do shape_description "$shape"; done
  for shape in "${shapes[@]}"; do frames_description "$shape"; done
  shape_table limit_rows "Data set" "Start" "Time (s)" "Limit" "Limit (s)" "Ratio"
  echo
  echo "Not in the limits: Wine's loading of shell32, which the bootstrap needs at every start" \
       "(CommandLineToArgvW, SHGetFolderPathW) and the trivial programs do not load, $shell_load s."
  for shape in "${shapes[@]}"; do
    echo "With it, the ratios to the same-calls limits of the ${shape_title[$shape]} are" \
         "$(calc "${f[${shape}_warm]} / (${f[${shape}_warm_same]} + $shell_load)") (warm)" \
         "and $(calc "${f[${shape}_cold]} / (${f[${shape}_cold_same]} + $shell_load)") (cold)."
  done
  shape_table work_rows "Data set" "Start" "Processor time: its process (s)" "Wine's server for it (s)" \
    "The same-calls limit's parts: zstd -d + trivial program + Wine's server for it (s)" \
    "Ratio of the processor times" "Wine's server per file (µs): the start, the trivial program"
  echo
  echo "Processor time counts work, not waiting. The trivial programs' own start and their listing" \
       "of the folder are in their figures; the bootstrap's start, its loading of shell32 and its" \
       "child's start are in its."
  if [ ${#variants[@]} -gt 0 ]; then
    shape_table variant_rows "Data set" "Build, same rounds" "warm (s)" "CPU (s)" "cold (s)" "CPU (s)" \
      "this build / it: warm, CPU, cold, CPU"
  fi
  shape_table versions_rows "Data set" "Warm start, no older version beside it" \
    "without --remove-old-versions (s)" "CPU (s)" "with it (s)" "CPU (s)" "with / without: time, CPU"
  shape_table peer_rows "Data set" "Re-extracting at every start" "Time (s)" "× our warm start" "× our cold start"
  echo
  echo "The native tools pay none of Wine's cost per file: they are the lower bound of a re-extracting" \
       "peer (with Wine's start of two programs added). 7za.exe pays it as a Windows program does;" \
       "its time holds its own start under Wine, not the start of the application that would follow."
  table_head "Data set" "Part" "Time (s)"
  echo "| both | Wine starting two programs | $m_start_two |"
  echo "| both | Wine starting two programs, the first loading shell32 | $m_start_two_shell |"
  for shape in "${shapes[@]}"; do part_rows "$shape"; done
  table_head "Data set" "Private memory (Linux RssAnon, sampled every 10 ms)" "MB"
  for shape in "${shapes[@]}"; do memory_rows "$shape"; done
  echo "| both | trivial program, while the child it started runs | $(calc "$trivial_during_kb / 1024") |"
  echo
  echo "Size the bootstrap adds to the payload: $(( $(stat -c %s "$work/bench-large.exe") - $(stat -c %s "${cache_of[large]}/app.payload") )) bytes."
} > "$table"
cat "$table"

[ -n "${BENCH_RESULTS:-}" ] || exit 0
mkdir -p "$BENCH_RESULTS"
cp "$table" "$BENCH_RESULTS/results.md"
# One chart, a panel per shape: our starts (1), their limits (2), the
# re-extracting peers, native (3) and under Wine (4).
for shape in "${shapes[@]}"; do
  {
    echo "\"warm start\" ${f[${shape}_warm]} 1"
    echo "\"warm limit,\\nsame calls\" ${f[${shape}_warm_same]} 2"
    echo "\"warm limit,\\nnative\" ${f[${shape}_warm_native]} 2"
    echo "\"cold start\" ${f[${shape}_cold]} 1"
    echo "\"cold limit,\\nsame calls\" ${f[${shape}_cold_same]} 2"
    echo "\"cold limit,\\nnative\" ${f[${shape}_cold_native]} 2"
    echo "\"tar.gz\\nnative\" $(reextract "${f[${shape}_tar_gz]}") 3"
    echo "\"zip\\nnative\" $(reextract "${f[${shape}_zip]}") 3"
    echo "\"7z\\nnative\" $(reextract "${f[${shape}_7z]}") 3"
    echo "\"zip,\\n7za.exe\" ${f[${shape}_7za_zip]} 4"
    echo "\"7z,\\n7za.exe\" ${f[${shape}_7za_7z]} 4"
  } > "$work/chart-$shape.dat"
done
panel_title() {
  local cache=${cache_of[$1]}
  echo "${shape_title[$1]}: $(calc "$(du -sb "$cache/app" | cut -f1) / 1e6") MB in $(wc -l < "$cache/files.txt") files"
}
gnuplot <<GNUPLOT
set terminal pngcairo size 1100,900 font "sans,10"
set output "$BENCH_RESULTS/chart.png"
set multiplot layout 2,1 title "Start of a packed application under Wine (medians of $rounds; blue ours, grey limits, orange peers native, red peers under Wine)"
set bmargin 4
set ylabel "seconds"
set style fill solid 0.8 border -1
set boxwidth 0.7
set yrange [0:*]
set xtics nomirror
set grid ytics
unset key
set palette defined (1 "#2b6cb0", 2 "#a0aec0", 3 "#c05621", 4 "#9b2c2c")
set cbrange [1:4]
unset colorbox
set title "$(panel_title large)"
plot "$work/chart-large.dat" using 0:2:3:xtic(1) with boxes palette, \
     "" using 0:2:(sprintf("%.2f", \$2)) with labels offset 0,0.7
set title "$(panel_title many)"
plot "$work/chart-many.dat" using 0:2:3:xtic(1) with boxes palette, \
     "" using 0:2:(sprintf("%.2f", \$2)) with labels offset 0,0.7
unset multiplot
GNUPLOT
{
  echo "Measured on: $(lscpu | awk -F: '/^Model name/ { gsub(/^ +/, "", $2); print $2 }'), $(nproc) cores" \
       "(shared with other work), $(free -g | awk '/^Mem:/ { print $2 }') GB of memory, Linux $(uname -r)"
  echo "Files on: $(df -T "$work" | awk 'NR == 2 { print $2 }'), page cache warm for every contender"
  echo "Wine $(wine --version | sed 's/^wine-//'), zstd $(zstd -V | grep -o 'v[0-9.]*'), gzip $(gzip -V | awk 'NR == 1 { print $2 }')," \
       "UnZip $(unzip -v | awk 'NR == 1 { print $2 }'), 7-Zip $(7zz | awk 'NF { print $3; exit }')," \
       "7-Zip's Windows console program $(wine "$sevenza" </dev/null 2>/dev/null | tr -d '\r' | awk 'NF { print $3; exit }')"
} > "$BENCH_RESULTS/machine.md"
