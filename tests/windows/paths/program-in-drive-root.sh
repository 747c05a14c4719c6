#!/usr/bin/env bash
# {PROGRAM}, {PROGRAM_BASE} and {PROGRAM_DIR} of a program started from a
# drive root: the folder part is just the drive, without a backslash.
# Under Wine, DefineDosDevice and subst never reach file access; a drive letter
# only works as a link in the prefix's dosdevices folder. This test makes one
# for a folder of its own and removes it again.
#
#   program-in-drive-root.sh WINE_PREFIX TEMPLATE_PROBE WORK_FOLDER
set -euo pipefail
prefix=$1 probe=$2 work=$3
export WINEPREFIX=$prefix WINEDEBUG=-all

folder=$work/program-in-drive-root
rm -rf "$folder"
mkdir -p "$folder"
cp "$probe" "$folder/App.exe"

letter=
for candidate in q r s t u v w x y; do
  if [ ! -e "$prefix/dosdevices/$candidate:" ] && [ ! -L "$prefix/dosdevices/$candidate:" ]; then
    letter=$candidate
    break
  fi
done
[ -n "$letter" ] || { echo "no free drive letter in $prefix" >&2; exit 1; }
link=$prefix/dosdevices/$letter:
ln -s "$folder" "$link"
trap 'rm -f "$link"' EXIT

drive=${letter^^}:
got=$(wine "$drive\\App.exe" '{PROGRAM}|{PROGRAM_BASE}|{PROGRAM_DIR}' </dev/null)
expected="1|$drive\\App.exe|$drive\\App|$drive"
if [ "$got" != "$expected" ]; then
  echo "expected: $expected" >&2
  echo "got:      $got" >&2
  exit 1
fi
echo "ok: $got"
