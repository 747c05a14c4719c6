#!/usr/bin/env bash
# onefile-pack.exe under Wine against the Linux onefile-pack: the same folder
# (non-ASCII names, subfolders, an empty file) must give the same payload and
# the same executable, and extract must give the folder back, with
# the folder and output named by Windows paths with a drive letter. A refused
# folder leaves nothing behind, and an existing output is replaced.
#
#   same-bytes.sh LINUX_PACK WINDOWS_PACK OBJDUMP WORK_DIR
set -euo pipefail
linux_pack=$1 windows_pack=$2 objdump=$3 work=$4
export WINEDEBUG=-all
fail() { echo "FAIL: $*" >&2; exit 1; }
wine_path() { winepath -w "$1" 2>/dev/null; }
pack_exe() { wine "$windows_pack" "$@" </dev/null; }

rm -rf "$work" && mkdir -p "$work"
app=$work/app-ü
mkdir -p "$app/données/日本語" "$app/sub/deeper"
# A real x86-64 console program as the main one: the packer itself.
cp "$windows_pack" "$app/Start.exe"
printf 'café\n' >"$app/données/menu-€.txt"
printf '%.0s0123456789abcdef' {1..5000} >"$app/données/日本語/テキスト.dat"
printf '\xf0\x9f\x99\x82 outside the BMP\n' >"$app/sub/emoji-🙂.txt"
: >"$app/sub/deeper/empty"
head -c 300000 /dev/urandom >"$app/sub/random.bin"

# Only system DLLs that Windows takes from the system folder whatever lies
# beside the packer (KnownDLLs): the packer must run on a bare Windows machine,
# from a download folder too. advapi32 gives its private folder its access.
imports=$("$objdump" -p "$windows_pack" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
for dll in $imports; do
  case $dll in kernel32.dll|msvcrt.dll|advapi32.dll) ;; *) fail "imports $dll";; esac
done

"$linux_pack" payload "$app" --main Start.exe -o "$work/linux.payload" >/dev/null
win_app=$(wine_path "$app")
win_out=$(wine_path "$work")\\windows.payload
[[ $win_app == [A-Z]:\\* ]] || fail "no drive-letter path for $app: $win_app"
pack_exe payload "$win_app" --main Start.exe -o "$win_out" >"$work/pack.log" 2>&1 || { cat "$work/pack.log"; fail "onefile-pack.exe payload"; }
cmp "$work/linux.payload" "$work/windows.payload" || fail "payload bytes differ between Linux and Windows"

# The finished executable, with resource texts beyond ASCII, likewise.
options=(--main Start.exe --name "Übersetzer" --version 2.5.1 --company "Zoë & Co" --description "Grüße aus 日本" -q)
"$linux_pack" build "$app" "${options[@]}" -o "$work/linux.exe"
pack_exe build "$win_app" "${options[@]}" -o "$(wine_path "$work")\\windows.exe" >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; fail "onefile-pack.exe build"; }
cmp "$work/linux.exe" "$work/windows.exe" || fail "executable bytes differ between Linux and Windows"

# The Windows tool reads back what it wrote, names included.
pack_exe list "$win_out" >"$work/list.log" 2>&1 || { cat "$work/list.log"; fail "onefile-pack.exe list"; }
grep -q 'données\\日本語\\テキスト.dat' "$work/list.log" || { cat "$work/list.log"; fail "list lost a Unicode name"; }
mkdir -p "$work/unpacked" && cp -r "$app/." "$work/unpacked/"
pack_exe verify "$win_out" "$(wine_path "$work/unpacked")" >"$work/verify.log" 2>&1 ||
  { cat "$work/verify.log"; fail "onefile-pack.exe verify of an identical folder"; }

# extract writes the same folder back, Unicode names and the empty file included.
pack_exe extract "$win_out" "$(wine_path "$work")\\extracted" -q >"$work/extract.log" 2>&1 ||
  { cat "$work/extract.log"; fail "onefile-pack.exe extract"; }
diff -r "$app" "$work/extracted" >/dev/null || fail "the extracted folder differs from the packed one"
pack_exe verify "$win_out" "$(wine_path "$work/extracted")" >/dev/null 2>&1 || fail "verify of the extracted folder"

# Packing again over an existing output replaces it.
pack_exe payload "$win_app" --main Start.exe -o "$win_out" --threads 1 >/dev/null 2>&1 || fail "repacking over an output"
cmp "$work/linux.payload" "$work/windows.payload" || fail "payload bytes depend on the thread count"

# A refused folder (names that differ only in case) writes nothing at all.
printf 'x' >"$app/sub/Random.BIN"
rm -f "$work/windows.payload"
if pack_exe payload "$win_app" --main Start.exe -o "$win_out" >"$work/refused.log" 2>&1; then fail "a case collision was accepted"; fi
grep -q 'differs only in case' "$work/refused.log" || { cat "$work/refused.log"; fail "no reason for the refusal"; }
leftovers=$(find "$work" -maxdepth 1 -name 'windows.payload*')
[ -z "$leftovers" ] || fail "a refused pack left $leftovers"
# Case beyond ASCII folds as on Linux: both tools refuse the same pair.
rm "$app/sub/Random.BIN"
printf 'a' >"$app/sub/ärger.txt"
printf 'b' >"$app/sub/ÄRGER.txt"
if "$linux_pack" payload "$app" --main Start.exe -o "$work/linux-refused.payload" 2>/dev/null; then
  fail "the Linux tool accepted names that differ only in case"
fi
if pack_exe payload "$win_app" --main Start.exe -o "$win_out" >"$work/refused.log" 2>&1; then
  fail "onefile-pack.exe accepted names that differ only in case: $(cat "$work/refused.log")"
fi
grep -q 'differs only in case' "$work/refused.log" || { cat "$work/refused.log"; fail "no reason for the refusal"; }
echo "onefile-pack.exe: same bytes as the Linux tool"
