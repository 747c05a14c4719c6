#!/usr/bin/env bash
# The benchmarks' data set: real Windows binaries (Wine's own PE libraries and
# programs), the first of them in name order until about the asked size, in
# one folder. Every benchmark that packs or unpacks "the same files" takes
# them from here, so their figures compare.
#
#   build.sh DIR [MB]      (MB: decoded size to reach, default 390)
#
# DIR/files holds the copies and DIR/manifest their names and sizes. A data
# set already in DIR with the same size and sources is kept, so a second call
# costs nothing; the script prints DIR/files.
set -euo pipefail
# shellcheck source=manifest.sh
. "$(dirname "$0")/manifest.sh"
[ $# -ge 1 ] || { echo "usage: $0 DIR [MB]" >&2; exit 2; }
dir=$1 mb=${2:-390}
source_dir=${BENCH_DATASET_SOURCE:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}
[ -d "$source_dir" ] || { echo "dataset: no folder $source_dir (is wine64 installed?)" >&2; exit 2; }

# Name order, so the same machine always gives the same files.
manifest=$(cd "$source_dir" && find . -maxdepth 1 -type f -printf '%P %s\n' | LC_ALL=C sort |
  awk -v want=$((mb * 1000000)) 'total < want { print; total += $2 }')  # reads all: no broken pipe
[ -n "$manifest" ] || { echo "dataset: $source_dir holds no files" >&2; exit 2; }
key="source $source_dir, $mb MB"
copy() {
  while read -r name _; do
    cp "$source_dir/$name" "$dir/files/$name"
  done <<<"$manifest"
}
dataset_make "$dir" "$key" "$manifest" copy
