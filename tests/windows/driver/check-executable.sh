#!/usr/bin/env bash
# Checks that a built bootstrap is a PE32+ GUI program that imports nothing but
# kernel32 and the C runtime (no libstdc++, libgcc, libwinpthread or zlib DLL), and
# that the section carrying the payload starts on a page boundary in the file,
# so that a loader can map the payload instead of reading it.
set -euo pipefail
objdump=$1 exe=$2
headers=$("$objdump" -p "$exe")
fail() { echo "check-executable: $*" >&2; exit 1; }

grep -q '^Magic[[:space:]]*020b' <<<"$headers" || fail "not PE32+"
grep -Eq '^Subsystem[[:space:]]+0*2[[:space:]]+\(Windows GUI\)' <<<"$headers" || fail "not the Windows GUI subsystem"
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
[ -n "$dlls" ] || fail "no imports found"
allowed='^(kernel32|msvcrt)\.dll$'
bad=$(grep -Ev "$allowed" <<<"$dlls" || true)
[ -z "$bad" ] || fail "imports non-system DLLs: $bad"
# The load configuration that keeps the loader to the system folder
# survives packing (the build checks its flags in the stub).
grep -Eq '^Entry a 0*[1-9a-f][0-9a-f]* 0*[1-9a-f][0-9a-f]* Load Configuration Directory' <<<"$headers" ||
  fail "no load configuration: $(grep '^Entry a' <<<"$headers")"
attached=$("$objdump" -h "$exe" | awk '$2 == ".onefile" { print $6 }')
[ -n "$attached" ] || fail "no .onefile section"
[ $((16#$attached % 4096)) -eq 0 ] || fail "the payload's section starts at byte 0x$attached, not on a page boundary"
echo "ok: $(tr '\n' ' ' <<<"$dlls")"
