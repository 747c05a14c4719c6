#!/usr/bin/env bash
# A Windows program this project did not write (7-Zip's console build),
# packed by onefile-pack alone: the packing runs with a PATH that holds
# nothing but onefile-pack, so no compiler, linker or resource compiler can
# take part. The executable then runs under Wine with its arguments passed
# through and its exit statuses kept. Packed with only --main and -o, it is
# 7-Zip's own: a console program with its version and details, unpacking
# into %LOCALAPPDATA%\7za\21.7.0; objdump and windres read that back.
set -euo pipefail
pack=$1 seven_zip=$2 work=$3
. "$(dirname "$0")/wine-run.sh"
[ -f "$seven_zip" ] || fail "no 7-Zip console program at $seven_zip (scripts/setup.sh fetches it)"
rm -rf "$work" && mkdir -p "$work/app" "$work/bin" "$work/files"
cp "$seven_zip" "$work/app/7za.exe"
ln -s "$pack" "$work/bin/onefile-pack"
printf 'first file\n' >"$work/files/a.txt"
printf 'second file\n' >"$work/files/b.txt"

env -i PATH="$work/bin" bash -c 'command -v x86_64-w64-mingw32-gcc cc gcc ld windres' >/dev/null &&
  fail "a compiler is reachable on the packing PATH"
cache_windows=$(winepath -w "$work/cache")
env -i PATH="$work/bin" onefile-pack build "$work/app" --main 7za.exe -o "$work/7za-packed.exe" -q \
  --level 3 --template "$cache_windows" --name SevenZip --version 21.7

wine_run "$work/info.out" "$work/7za-packed.exe" i
[ "$status" -eq 0 ] || fail "'7za i' ended with $status"
grep -q '^7-Zip' "$work/info.out" || fail "no 7-Zip banner: $(head -3 "$work/info.out")"
cmp -s "$seven_zip" "$work/cache/7za.exe" || fail "the unpacked program differs from the packed one"

# Arguments with spaces reach the program: it archives the files it is named.
archive=$(winepath -w "$work/files/with space.7z")
wine_run "$work/add.out" "$work/7za-packed.exe" a "$archive" "$(winepath -w "$work/files/a.txt")" \
  "$(winepath -w "$work/files/b.txt")"
[ "$status" -eq 0 ] || fail "'7za a' ended with $status: $(cat "$work/add.out")"
[ -s "$work/files/with space.7z" ] || fail "no archive was written"
wine_run "$work/list.out" "$work/7za-packed.exe" l "$archive"
grep -q 'a.txt' "$work/list.out" && grep -q 'b.txt' "$work/list.out" || fail "the archive does not list both files"

# Its own failure statuses come through: 2 for a fatal error, 7 for a bad command line.
wine_run "$work/missing.out" "$work/7za-packed.exe" t "$(winepath -w "$work/files/missing.7z")"
[ "$status" -eq 2 ] || fail "'7za t' of a missing archive ended with $status, not 2"
wine_run "$work/usage.out" "$work/7za-packed.exe" no-such-command
[ "$status" -eq 7 ] || fail "'7za' with a bad command ended with $status, not 7"

env -i PATH="$work/bin" onefile-pack build "$work/app" --main 7za.exe -o "$work/7za.exe" >"$work/build.out"
grep -qF '; from 7za.exe: --console --name 7za --version 21.7.0 --company "Igor Pavlov" --description "7-Zip Standalone Console" --product 7-Zip --copyright "Copyright (c) 1999-2021 Igor Pavlov"; default: --icon' \
  "$work/build.out" || fail "the summary does not say what came from 7za.exe: $(cat "$work/build.out")"
env -i PATH="$work/bin" onefile-pack info "$work/7za.exe" >"$work/info.txt"
grep -qx "version:      21.7.0 (from 7za.exe's file version)" "$work/info.txt" || fail "info: $(cat "$work/info.txt")"
x86_64-w64-mingw32-objdump -p "$work/7za.exe" >"$work/headers.txt"
grep -qP '^Subsystem\t+00000003\t\(Windows CUI\)' "$work/headers.txt" || fail "not a console program: $(grep Subsystem "$work/headers.txt")"
x86_64-w64-mingw32-windres -i "$work/7za.exe" -O rc >"$work/resources.rc"
for expected in ' FILEVERSION 21, 7, 0, 0' 'VALUE "FileVersion", "21.7.0.0"' 'VALUE "CompanyName", "Igor Pavlov"' \
  'VALUE "FileDescription", "7-Zip Standalone Console"' 'VALUE "ProductName", "7-Zip"' \
  'VALUE "LegalCopyright", "Copyright (c) 1999-2021 Igor Pavlov"' 'VALUE "InternalName", "7za"'; do
  grep -qF "$expected" "$work/resources.rc" || fail "no '$expected' in the resources"
done
local_app_data=$(winepath -u "$(wine cmd /c echo %LOCALAPPDATA% </dev/null 2>/dev/null | tr -d '\r')")
[ -d "$local_app_data" ] || fail "no LOCALAPPDATA folder at '$local_app_data'"
rm -rf "$local_app_data/7za"
wine_run "$work/own.out" "$work/7za.exe" i
[ "$status" -eq 0 ] || fail "'7za i' packed with only --main ended with $status"
cmp -s "$seven_zip" "$local_app_data/7za/21.7.0/7za.exe" || fail "not unpacked into %LOCALAPPDATA%\\7za\\21.7.0"
echo ok
