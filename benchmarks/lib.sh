# Shared pieces of the benchmark scripts (sourced). Times are kept per name,
# one line per round, in $BENCH_TIMES; figures are medians of the rounds.

# timed NAME COMMAND...: runs the command once and records its wall time.
timed() {
  local name=$1 start end
  shift
  start=$(date +%s%N)
  "$@"
  end=$(date +%s%N)
  record "$name" "$(awk -v ns=$((end - start)) 'BEGIN { printf "%.6f", ns / 1e9 }')"
}

# record NAME SECONDS: one round's figure, measured by the caller.
record() { echo "$2" >> "$BENCH_TIMES/$1"; }

# median NAME: the median of the recorded rounds.
median() {
  sort -g "$BENCH_TIMES/$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# calc EXPRESSION: arithmetic on decimals.
calc() { awk "BEGIN { printf \"%.6g\", $1 }"; }

# wine_server_pid: the process of the Wine server that serves WINEPREFIX. The
# server works in a folder named after the prefix's device and inode, which
# tells it apart from the servers of other prefixes on the same machine.
wine_server_pid() {
  local name pid
  name=$(printf 'server-%x-%x' "0x$(stat -c %D "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  for pid in $(pgrep wineserver); do
    case $(readlink "/proc/$pid/cwd") in */"$name") echo "$pid"; return 0 ;; esac
  done
  echo "bench: no Wine server runs for $WINEPREFIX" >&2
  return 1
}

# process_seconds PID: the processor time (user + system) a process has used.
process_seconds() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat"
}

# wine_path PATH: the path as Windows programs under Wine see it.
wine_path() { winepath -w "$1" 2>/dev/null; }

# bench_payload HOST_BUILD WINDOWS_BUILD [SHAPE]: a data set as an
# application folder with the benchmark's main program, packed at BENCH_LEVEL
# (default: the packer's own). SHAPE "large" (the default) is the data set of
# dataset/build.sh, BENCH_MB MB (default 390) of large binaries in one folder;
# "many" is dataset/many-files.sh's, BENCH_MANY_MB MB (default: its own) of
# small files in nested folders. Made once and kept in the host build; sets
# BENCH_CACHE to the folder holding app/, app.payload, app.zst (the bare
# frame or frames), app-one-frame.payload (the folder in one frame without an
# index, to compare sizes with) and files.txt, and BENCH_LEVEL_USED to the level.
bench_payload() {
  local host=$1 windows=$2 shape=${3:-large} level=${BENCH_LEVEL:-}
  local benchmarks main files key size name frames offset
  benchmarks=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  main=$windows/benchmarks/bench-app-main.exe
  [ -f "$main" ] || { echo "bench: build the Windows programs first ($main)" >&2; return 2; }
  case $shape in
    large) name=${BENCH_MB:-390}
           files=$(bash "$benchmarks/dataset/build.sh" "$host/benchmarks/dataset-$name" "$name") ;;
    many) name=many-${BENCH_MANY_MB:-default}
          files=$(bash "$benchmarks/dataset/many-files.sh" "$host/benchmarks/dataset-$name" ${BENCH_MANY_MB:+"$BENCH_MANY_MB"}) ;;
    *) echo "bench: no data set shape '$shape'" >&2; return 2 ;;
  esac
  BENCH_CACHE=$host/benchmarks/payload-$name-${level:-default}
  BENCH_LEVEL_USED=${level:-19}
  key=$( (cat "$host/benchmarks/dataset-$name/manifest" "$benchmarks/programs/app-main.cpp"
          packer_format "$host/tools/onefile-pack/onefile-pack" "$main") | sha256sum | cut -c1-16)
  [ "$(cat "$BENCH_CACHE/key" 2>/dev/null)" = "$key" ] && return 0
  rm -rf "$BENCH_CACHE" && mkdir -p "$BENCH_CACHE/app"
  echo "packing the data set once ($(du -sm "$files" | cut -f1) MB at level $BENCH_LEVEL_USED)..." >&2
  cp -R "$files"/. "$BENCH_CACHE/app/"
  cp "$main" "$BENCH_CACHE/app/main.exe"
  "$host/tools/onefile-pack/onefile-pack" payload "$BENCH_CACHE/app" --main main.exe \
    -o "$BENCH_CACHE/app.payload" ${level:+--level "$level"} >/dev/null
  "$host/tools/onefile-pack/onefile-pack" payload "$BENCH_CACHE/app" --main main.exe --frame-size 0 \
    -o "$BENCH_CACHE/app-one-frame.payload" ${level:+--level "$level"} >/dev/null
  # The bare frames, where the packer's own reading puts them.
  frames=$("$host/tools/payload-io/payload-frames" "$BENCH_CACHE/app.payload")
  read -r offset size <<< "$frames"
  tail -c +$((offset + 1)) "$BENCH_CACHE/app.payload" | head -c "$size" > "$BENCH_CACHE/app.zst"
  (cd "$BENCH_CACHE/app" && find . -type f | LC_ALL=C sort) > "$BENCH_CACHE/files.txt"
  echo "$key" > "$BENCH_CACHE/key"
}

# packer_format ONEFILE_PACK MAIN: what the packer writes for one small
# folder, which changes with the payload's format (a frame checksum, an
# encoding), so that a payload packed by an older packer is packed again.
packer_format() {
  local folder
  folder=$(mktemp -d)
  cp "$2" "$folder/main.exe"
  "$1" payload "$folder" --main main.exe -o "$folder/format.payload" --level 1 >/dev/null
  sha256sum < "$folder/format.payload"
  rm -rf "$folder"
}

# bench_work NAME WINDOWS_BUILD [GB]: sets work to the folder a benchmark
# unpacks into, made empty and removed on exit, with BENCH_TIMES in it. It is
# BENCH_WORK or else a memory file system when there is one with GB
# (default 4) free, for the reason given in starts/run.sh (on a disk, making
# thousands of files costs what the file system did in the minutes before).
bench_work() {
  if [ -n "${BENCH_WORK:-}" ]; then
    work=$BENCH_WORK
  elif [ -d /dev/shm ] && [ "$(df --output=avail -B1G /dev/shm | tail -1 | tr -d ' ')" -ge "${3:-4}" ]; then
    work=/dev/shm/onefile-$1-$$
  else
    work=$2/benchmarks/$1-work
  fi
  rm -rf "$work" && mkdir -p "$work"
  trap 'rm -rf "$work"' EXIT
  export BENCH_TIMES=$work/times
  mkdir -p "$BENCH_TIMES"
}

# data_set_line TITLE CACHE LEVEL: a data set's line in a table's preamble.
data_set_line() {
  echo "- $1: $(wc -l < "$2/files.txt") files, $(calc "$(du -sb "$2/app" | cut -f1) / 1e6") MB, packed at level $3"
}

# load_line: the machine's load, the closing line of a table.
load_line() {
  echo "The machine's load average at the end (1, 5, 15 minutes): $(cut -d' ' -f1-3 /proc/loadavg), on" \
       "$(nproc) cores: what other work ran beside the starts, which the rounds share alike."
}

# A benchmark that stops names the command that stopped it, in a function too.
set -o errtrace
trap 'echo "bench: stopped at ${BASH_SOURCE[0]##*/} line $LINENO: $BASH_COMMAND" >&2' ERR
