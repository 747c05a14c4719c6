#!/usr/bin/env bash
# Fills an application folder for the unpacking tests: the main program,
# files in nested folders, empty files, several content chunks' worth of
# bytes and a file whose CRC-32 is 0.
#   make-app-folder.sh OUT_DIR MAIN_EXE
set -euo pipefail
out=$1 main=$2
rm -rf "$out"
mkdir -p "$out/a/b" "$out/data"
cp "$main" "$out/main.exe"
head -c 100000 /dev/urandom > "$out/a/b/c.dat"          # three full chunks and a tail
head -c 300000 /dev/urandom > "$out/data/large.bin"
printf 'a text file at the top\r\n' > "$out/top.txt"
: > "$out/empty.txt"
: > "$out/a/empty-too"
printf '\x9d\x0a\xd9\x6d' > "$out/data/crc-zero.bin"    # CRC-32 of these four bytes is 0
