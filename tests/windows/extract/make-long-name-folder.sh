#!/usr/bin/env bash
# An application folder whose second file has a name of about 900 code
# units, in nested folders (each name within Linux's 255 bytes).
#   make-long-name-folder.sh OUT_DIR MAIN_EXE
set -euo pipefail
out=$1 main=$2
rm -rf "$out"
segment=$(printf 'l%.0s' $(seq 200))
deep="$out/$segment/$segment/$segment/$segment"
mkdir -p "$deep"
cp "$main" "$out/main.exe"
printf 'never unpacked\n' > "$deep/$(printf 'f%.0s' $(seq 100))"
