#!/usr/bin/env bash
# onefile-pack.exe under Wine on paths beyond 260 characters: it packs a folder
# that lies that deep, writes the executable there, and extracts it there
# again; the Linux tool verifies both. (Wine does not hold programs to 260
# characters, so this shows the tool's own path handling; the manifest that
# lets Windows do the same is checked by own-manifest.sh.)
#
#   long-path.sh LINUX_PACK WINDOWS_PACK WORK_DIR
set -euo pipefail
linux_pack=$1 windows_pack=$2 work=$3
export WINEDEBUG=-all
fail() { echo "FAIL: $*" >&2; exit 1; }
wine_path() { winepath -w "$1" 2>/dev/null; }
pack_exe() { wine "$windows_pack" "$@" </dev/null; }

rm -rf "$work" && mkdir -p "$work"
deep=$work win_deep=$(wine_path "$work")  # winepath itself stops at 260 characters
for i in 1 2 3 4 5 6 7 8 9 10 11 12; do
  deep+=/a-folder-with-a-long-name-$i
  win_deep+=\\a-folder-with-a-long-name-$i
done
mkdir -p "$deep/app/sub folder"
cp "$windows_pack" "$deep/app/Start.exe"  # a real program: build reads its headers
head -c 100000 /dev/urandom >"$deep/app/sub folder/data-𝄞.bin"
[ "${#win_deep}" -gt 300 ] || fail "the folder's Windows path is only ${#win_deep} characters"

pack_exe build "$win_deep\\app" --main Start.exe -o "$win_deep\\packed.exe" --level 3 -q >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; fail "onefile-pack.exe build under a path of ${#win_deep} characters"; }
"$linux_pack" verify "$deep/packed.exe" "$deep/app" >/dev/null || fail "the executable does not carry the folder"
pack_exe extract "$win_deep\\packed.exe" "$win_deep\\extracted" -q >"$work/extract.log" 2>&1 ||
  { cat "$work/extract.log"; fail "onefile-pack.exe extract under a path of ${#win_deep} characters"; }
"$linux_pack" verify "$deep/packed.exe" "$deep/extracted" >/dev/null || fail "the extracted folder differs"
echo "onefile-pack.exe: packed and extracted under a path of ${#win_deep} characters"
