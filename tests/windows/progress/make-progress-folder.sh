#!/usr/bin/env bash
# Fills the progress window tests' application folder: the main program and
# thirty files of 256 KiB in data\.
#   make-progress-folder.sh OUT_DIR MAIN_EXE
set -euo pipefail
out=$1 main=$2
rm -rf "$out"
mkdir -p "$out/data"
cp "$main" "$out/progress-app.exe"
for i in $(seq -w 0 29); do head -c 262144 /dev/urandom > "$out/data/$i.bin"; done
