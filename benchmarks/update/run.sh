#!/usr/bin/env bash
# An update's first start: version 1.1.0 of each data set (make-versions.py:
# its main program changed, about 3 % of the other bytes changed in files
# that sit together, two files removed, two added) started for the first time
# with version 1.0.0's folder beside its own, against its cold start (no
# folder beside) and its warm start, in the same rounds; each as it runs under
# Wine and under the modelled on-access scanner of close-threads/run.sh
# (bench-scanned-start: every close of a file opened for writing waits
# BENCH_SCAN_MS first). Two more starts tell where an update's time goes and
# bound it:
#
#   all taken   1.0.0's own payload as version 1.0.1 beside 1.0.0: every file
#               is checked beside and taken, no frame is decoded, nothing is
#               written: the cost of checking the files beside and linking
#   worst case  every file changed, sizes kept (every program rebuilt), beside
#               1.0.0, against its own cold start
#
# It also counts, after one update, the bytes the update wrote (its files
# that share no other name) against the bytes of the changed and added
# files, and the two versions' distinct bytes on disk (du counts a file of
# several names once) against one version's.
#
#   run.sh HOST_BUILD WINDOWS_BUILD            (WINEPREFIX exported)
#   BENCH_SCAN_MS, BENCH_ROUNDS, BENCH_LEVEL, BENCH_MB, BENCH_MANY_MB,
#   BENCH_RESULTS, BENCH_WORK  as for close-threads/run.sh (results go to update.md)
set -euo pipefail
host=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
rounds=${BENCH_ROUNDS:-5} scan_ms=${BENCH_SCAN_MS:-2}
pack=$host/tools/onefile-pack/onefile-pack
scanned=$windows/benchmarks/bench-scanned-start.exe
shapes=(many large)
declare -A shape_title=([large]="large files" [many]="many small files")

bench_work update "$windows"

# The versions of each shape, packed once beside the data set's own payload.
declare -A cache_of level_of versions_of
for shape in "${shapes[@]}"; do
  bench_payload "$host" "$windows" "$shape"
  cache_of[$shape]=$BENCH_CACHE level_of[$shape]=$BENCH_LEVEL_USED
  versions=$BENCH_CACHE/update-versions
  versions_of[$shape]=$versions
  key=$( (cat "$BENCH_CACHE/key" "$here/make-versions.py" && echo "${BENCH_LEVEL:-}") | sha256sum | cut -c1-16)
  if [ "$(cat "$versions/key" 2>/dev/null)" != "$key" ]; then
    echo "packing the $shape data set's update versions once..." >&2
    python3 "$here/make-versions.py" "$BENCH_CACHE/app" "$versions"
    for version in 1.1.0 worst; do
      "$pack" payload "$versions/$version" --main main.exe -o "$versions/$version.payload" \
        ${BENCH_LEVEL:+--level "$BENCH_LEVEL"} >/dev/null
    done
    echo "$key" > "$versions/key"
  fi
  parent="$(wine_path "$work")\\cache-$shape"
  build() { "$pack" build --payload "$1" -o "$work/$shape-$2.exe" -q --template "$parent\\{VERSION}" --version "$3"; }
  build "$BENCH_CACHE/app.payload" base 1.0.0
  build "$BENCH_CACHE/app.payload" same 1.0.1
  build "$versions/1.1.0.payload" update 1.1.0
  build "$versions/worst.payload" worst 1.1.0
done

start_of() {
  wine "$@" </dev/null >/dev/null 2>&1 || { echo "update bench: $* failed" >&2; exit 1; }
}
# first NAME SHAPE BUILD MODEL: a first start of BUILD (1.1.0's folder, or
# 1.0.1's, removed before it) as NAME, under MODEL (plain or scanned).
first() {
  local name=$1 shape=$2 build=$3 model=$4 exe="$work/$2-$3.exe"
  rm -rf "$work/cache-$shape/1.1.0" "$work/cache-$shape/1.0.1"
  sync
  if [ "$model" = scanned ]; then
    timed "$name" start_of "$scanned" "$(wine_path "$exe")" "$scan_ms"
  else
    timed "$name" start_of "$exe"
  fi
}
# The folder beside, 1.0.0, is moved away for a cold start and back after it.
aside() { mv "$work/cache-$1/1.0.0" "$work/aside-$1"; }
back() { mv "$work/aside-$1" "$work/cache-$1/1.0.0"; }

for shape in "${shapes[@]}"; do
  start_of "$work/$shape-base.exe"
  cat "$work/$shape-"*.exe > /dev/null
done
for round in $(seq "$rounds"); do
  echo "round $round of $rounds" >&2
  for shape in "${shapes[@]}"; do
    for model in plain scanned; do
      aside "$shape"
      first "${shape}_${model}_cold" "$shape" update "$model"
      timed "${shape}_${model}_warm" start_of "$work/$shape-update.exe"
      first "${shape}_${model}_worstcold" "$shape" worst "$model"
      back "$shape"
      first "${shape}_${model}_update" "$shape" update "$model"
      first "${shape}_${model}_worst" "$shape" worst "$model"
      first "${shape}_${model}_same" "$shape" same "$model"
    done
  done
done

# After one more update: every file whole, the bytes written and the bytes on disk.
declare -A written_of changed_of disk_of one_of
for shape in "${shapes[@]}"; do
  first "${shape}_last" "$shape" update plain
  diff -rq "${versions_of[$shape]}/1.1.0" "$work/cache-$shape/1.1.0" > /dev/null ||
    { echo "update bench: the updated $shape folder differs from 1.1.0" >&2; exit 1; }
  written_of[$shape]=$(find "$work/cache-$shape/1.1.0" -type f -links 1 -printf '%s\n' | awk '{ s += $1 } END { printf "%d", s }')
  changed_of[$shape]=$(cat "${versions_of[$shape]}/changed.txt")
  disk_of[$shape]=$(du -sb "$work/cache-$shape/1.0.0" "$work/cache-$shape/1.1.0" | awk '{ s += $1 } END { printf "%d", s }')
  one_of[$shape]=$(du -sb "$work/cache-$shape/1.1.0" | cut -f1)
done

ratio() { calc "$(median "$1") / $(median "$2")"; }
table=$work/update.md
{
  echo "An update's first start with the version before it beside, medians of $rounds rounds, every contender" \
       "in the same rounds; the modelled scanner waits $scan_ms ms in each close of a file opened for writing."
  echo
  for shape in "${shapes[@]}"; do data_set_line "${shape_title[$shape]}" "${cache_of[$shape]}" "${level_of[$shape]}"; done
  echo
  echo "| Data set | Closes | Cold (s) | Warm (s) | Update (s) | Update × cold | Update × warm | All taken (s) | Worst case × its cold |"
  echo "|---|---|---|---|---|---|---|---|---|"
  for shape in "${shapes[@]}"; do
    for model in plain scanned; do
      s=${shape}_${model}
      echo "| ${shape_title[$shape]} | $([ $model = plain ] && echo "as under Wine" || echo "modelled scanner") |" \
           "$(median "${s}_cold") | $(median "${s}_warm") | $(median "${s}_update") |" \
           "$(ratio "${s}_update" "${s}_cold") | $(ratio "${s}_update" "${s}_warm") | $(median "${s}_same") |" \
           "$(ratio "${s}_worst" "${s}_worstcold") |"
    done
  done
  echo
  echo "| Data set | Bytes written × changed and added | Both versions on disk × one | Both, one (MB) |"
  echo "|---|---|---|---|"
  for shape in "${shapes[@]}"; do
    echo "| ${shape_title[$shape]} | $(calc "${written_of[$shape]} / ${changed_of[$shape]}") |" \
         "$(calc "${disk_of[$shape]} / ${one_of[$shape]}") | $(calc "${disk_of[$shape]} / 1e6"), $(calc "${one_of[$shape]} / 1e6") |"
  done
  echo
  echo "All taken: 1.0.0's own files as a version 1.0.1, every one checked beside and taken, no frame" \
       "decoded: what checking the files beside and linking them costs. The rest of an update's time is" \
       "decoding the frames that hold changed files and writing those files."
  echo
  load_line
} > "$table"
cat "$table"
[ -z "${BENCH_RESULTS:-}" ] || cp "$table" "$BENCH_RESULTS/update.md"
