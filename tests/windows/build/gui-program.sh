#!/usr/bin/env bash
# A GUI program this project did not write (Wine's own Internet Explorer
# launcher, with an icon group and a version resource) packed with only
# --main and -o: a GUI executable carrying the program's icon images byte for
# byte and its version details, as wrestool, objdump and windres read them.
set -euo pipefail
pack=$1 program=$2 work=$3
. "$(dirname "$0")/wine-run.sh"
[ -f "$program" ] || fail "no $program (Debian's wine64 package ships it)"
command -v wrestool >/dev/null || fail "no wrestool (scripts/setup.sh installs icoutils)"
rm -rf "$work" && mkdir -p "$work/app"
cp "$program" "$work/app/iexplore.exe"
"$pack" build "$work/app" --main iexplore.exe -o "$work/packed.exe" >"$work/build.out"
grep -qF '; from iexplore.exe: --windows --name iexplore --version 9.0.8112.16421 --icon --company "Microsoft Corporation" --description "Wine Internet Explorer" --product Wine --copyright "Copyright (c) 1993-' \
  "$work/build.out" || fail "the summary does not say what came from iexplore.exe: $(cat "$work/build.out")"

x86_64-w64-mingw32-objdump -p "$work/packed.exe" >"$work/headers.txt"
grep -qP '^Subsystem\t+00000002\t\(Windows GUI\)' "$work/headers.txt" || fail "not a GUI program: $(grep Subsystem "$work/headers.txt")"

# The first icon group, as an icon file: directory and images alike.
wrestool -x --type=group_icon "$program" -o "$work/original.ico"
wrestool -x --type=group_icon "$work/packed.exe" -o "$work/packed.ico"
[ "$(wrestool -l --type=group_icon "$work/packed.exe" | wc -l)" -eq 1 ] || fail "not one icon group"
cmp "$work/original.ico" "$work/packed.ico" || fail "the icon differs from the program's"
[ "$(wrestool -l --type=icon "$work/packed.exe" | wc -l)" -eq "$(wrestool -l --type=icon "$program" | wc -l)" ] ||
  fail "not as many icon images as the program has"

x86_64-w64-mingw32-windres -i "$work/packed.exe" -O rc >"$work/resources.rc"
for expected in ' FILEVERSION 9, 0, 8112, 16421' 'VALUE "CompanyName", "Microsoft Corporation"' \
  'VALUE "FileDescription", "Wine Internet Explorer"' 'VALUE "ProductName", "Wine"' \
  'VALUE "LegalCopyright", "Copyright (c) 1993-2023 the Wine project authors' 'VALUE "OriginalFilename", "iexplore.exe"'; do
  grep -qF "$expected" "$work/resources.rc" || fail "no '$expected' in the resources"
done
echo ok
