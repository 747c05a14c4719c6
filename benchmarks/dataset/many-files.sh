#!/usr/bin/env bash
# The benchmarks' second data set, the shape of most shipped applications:
# thousands of small files in nested folders. Real files of a language
# runtime's library (Python 3.11's, with its test suite: the set-up installs
# both), the first of them in path order until about the asked size, with
# their folders.
#
#   many-files.sh DIR [MB]      (MB: decoded size to reach, default 120: the whole library)
#
# DIR/files holds the copies and DIR/manifest their paths and sizes. A data
# set already in DIR with the same size and sources is kept, so a second call
# costs nothing; the script prints DIR/files.
set -euo pipefail
# shellcheck source=manifest.sh
. "$(dirname "$0")/manifest.sh"
[ $# -ge 1 ] || { echo "usage: $0 DIR [MB]" >&2; exit 2; }
dir=$1 mb=${2:-120}
source_dir=${BENCH_MANY_FILES_SOURCE:-/usr/lib/python3.11}
[ -d "$source_dir" ] || { echo "dataset: no folder $source_dir (is python3 installed?)" >&2; exit 2; }

# Path order, so the same machine always gives the same files. A tab parts
# the path from the size; the paths of this library hold no tab or newline.
manifest=$(cd "$source_dir" && find . -type f -printf '%P\t%s\n' | LC_ALL=C sort |
  awk -F '\t' -v want=$((mb * 1000000)) 'total < want { print; total += $2 }')  # reads all: no broken pipe
[ -n "$manifest" ] || { echo "dataset: $source_dir holds no files" >&2; exit 2; }
key="source $source_dir (nested), $mb MB"
copy() {
  cut -f1 <<<"$manifest" | tar -C "$source_dir" -cf - --no-recursion --verbatim-files-from -T - | tar -C "$dir/files" -xf -
}
dataset_make "$dir" "$key" "$manifest" copy
