#!/usr/bin/env bash
# Fills the fault loop's application folder: the main program, a file of two
# write pieces two folders down, an empty file and a small one.
#   make-fault-app.sh OUT_DIR MAIN_EXE
set -euo pipefail
out=$1 main=$2
rm -rf "$out"
mkdir -p "$out/a/b"
cp "$main" "$out/main.exe"
head -c 40000 /dev/urandom > "$out/a/b/c.dat"
: > "$out/a/empty.txt"
printf 'a text file at the top\r\n' > "$out/top.txt"
