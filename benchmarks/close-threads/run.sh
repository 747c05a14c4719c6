#!/usr/bin/env bash
# Closing written files on threads beside the unpacking (build
# --close-threads N): cold starts of both data sets (see starts/run.sh) built
# without the option and with N = 4 and 8, each as it runs under Wine and
# under a modelled on-access scanner, which Wine does not have: every close
# of a file opened for writing waits BENCH_SCAN_MS first, in the closing
# thread (bench-scanned-start, the bootstrap's own start-up with the open and
# close rows of its system-call table replaced). All contenders of both
# shapes run one after the other in each round; figures are medians of the
# rounds. Time is the wall time of a start to its child's end; processor time
# is its process's and what Wine's server spent for it meanwhile.
#
# It also counts the handles of one cold start with the most threads: the
# files opened for writing, those closed, those still open as the program
# starts, and the closes that failed (a handle closed twice fails).
#
#   run.sh HOST_BUILD WINDOWS_BUILD            (WINEPREFIX exported)
#   BENCH_SCAN_MS  the modelled scanner's wait per close, in ms (default 2)
#   BENCH_ROUNDS, BENCH_LEVEL, BENCH_MB, BENCH_MANY_MB, BENCH_RESULTS, BENCH_WORK
#                  as for starts/run.sh (results go to close-threads.md)
set -euo pipefail
host=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
rounds=${BENCH_ROUNDS:-5} scan_ms=${BENCH_SCAN_MS:-2}
pack=$host/tools/onefile-pack/onefile-pack
scanned=$windows/benchmarks/bench-scanned-start.exe
shapes=(many large)
threads=(0 4 8)
declare -A shape_title=([large]="large files" [many]="many small files")

bench_work close-threads "$windows"
server=$(wine_server_pid)

# NAME.exe around the shape's payload, unpacking into cache-NAME; N = 0 is
# an executable built without the option.
declare -A cache_of level_of
for shape in "${shapes[@]}"; do
  bench_payload "$host" "$windows" "$shape"
  cache_of[$shape]=$BENCH_CACHE level_of[$shape]=$BENCH_LEVEL_USED
  for n in "${threads[@]}"; do
    option=()
    [ "$n" -eq 0 ] || option=(--close-threads "$n")
    "$pack" build --payload "$BENCH_CACHE/app.payload" -o "$work/$shape-$n.exe" -q \
      --template "$(wine_path "$work")\\cache-$shape-$n" --version 1.0 "${option[@]}"
  done
done

# start_of COMMAND...: a start under Wine, its processor time in cpu-time.
start_of() {
  /usr/bin/time -f '%U %S' -o "$work/cpu-time" wine "$@" </dev/null >/dev/null 2>&1 ||
    { echo "close-threads bench: $* failed" >&2; exit 1; }
}
# cold NAME CACHE COMMAND...: one start into an empty cache folder, its wall
# time as NAME and its processor time (process and Wine's server) as cpu_NAME.
cold() {
  local name=$1 cache=$2 before
  shift 2
  rm -rf "${work:?}/$cache"
  sync
  before=$(process_seconds "$server")
  timed "$name" start_of "$@"
  record "cpu_$name" "$(calc "$(awk 'END { print $1 + $2 }' "$work/cpu-time") + $(process_seconds "$server") - $before")"
}

for shape in "${shapes[@]}"; do cat "${cache_of[$shape]}/app.payload" > /dev/null; done
for round in $(seq "$rounds"); do
  echo "round $round of $rounds" >&2
  for shape in "${shapes[@]}"; do
    # The builds take turns in going first.
    order=("${threads[@]}")
    [ $((round % 2)) -eq 1 ] || order=($(printf '%s\n' "${threads[@]}" | tac))
    for n in "${order[@]}"; do
      cold "${shape}_plain_$n" "cache-$shape-$n" "$work/$shape-$n.exe"
      cold "${shape}_scanned_$n" "cache-$shape-$n" "$scanned" "$(wine_path "$work/$shape-$n.exe")" "$scan_ms"
    done
  done
done
# Exactness: every start left the whole folder.
for shape in "${shapes[@]}"; do
  for n in "${threads[@]}"; do
    diff -rq "${cache_of[$shape]}/app" "$work/cache-$shape-$n" > /dev/null ||
      { echo "close-threads bench: the unpacked $shape folder of --close-threads $n differs" >&2; exit 1; }
  done
done

# The handles of one cold start of the many-file set with the most threads,
# under the scanner model, which is when files wait longest to be closed.
most=${threads[-1]}
rm -rf "${work:?}/cache-many-$most"
ONEFILE_BENCH_HANDLES=$(wine_path "$work/handles.txt") wine "$scanned" "$(wine_path "$work/many-$most.exe")" \
  "$scan_ms" </dev/null >/dev/null 2>&1
handles=$(tr -d '\r\n' < "$work/handles.txt")

rows() {
  local s=$1 model=$2 title=$3 base cpu_base n time cpu
  base=$(median "${s}_${model}_0") cpu_base=$(median "cpu_${s}_${model}_0")
  for n in "${threads[@]}"; do
    time=$(median "${s}_${model}_$n") cpu=$(median "cpu_${s}_${model}_$n")
    echo "| ${shape_title[$s]} | $title | ${n/#0/without} | $time | $cpu |" \
         "$(calc "$base / $time"), $(calc "$cpu_base / $cpu") |"
  done
}
table=$work/close-threads.md
{
  echo "Cold starts, medians of $rounds rounds, every contender in the same rounds; the modelled scanner" \
       "waits $scan_ms ms in each close of a file opened for writing."
  echo
  for shape in "${shapes[@]}"; do data_set_line "${shape_title[$shape]}" "${cache_of[$shape]}" "${level_of[$shape]}"; done
  echo
  echo "| Data set | Closes | --close-threads | Cold start (s) | Processor time (s) | × without the option: time, processor time |"
  echo "|---|---|---|---|---|---|"
  for shape in "${shapes[@]}"; do
    rows "$shape" plain "as under Wine"
    rows "$shape" scanned "modelled scanner, $scan_ms ms"
  done
  echo
  echo "Above 1 is faster than without the option. Processor time is the start's process and Wine's" \
       "server for it (10 ms steps)."
  echo
  load_line
  echo
  echo "Handles of a cold start of the many small files with --close-threads $most under the modelled" \
       "scanner: $handles."
} > "$table"
cat "$table"
[ -z "${BENCH_RESULTS:-}" ] || cp "$table" "$BENCH_RESULTS/close-threads.md"
