#!/usr/bin/env bash
# Checks, with objdump, that each executable imports only kernel32 and the C
# runtime, which every Windows system has, and that its load configuration
# tells the loader to look for libraries in the system folder only
# (DependentLoadFlags 0x800): nothing the loader resolves before the program's
# first line is looked for beside a downloaded executable.
#
#   system-libraries-only.sh OBJDUMP EXE...
set -euo pipefail
objdump=$1
shift
fail() { echo "system-libraries-only: $*" >&2; exit 1; }
for exe in "$@"; do
  headers=$("$objdump" -p "$exe")
  dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | sort -u | tr '\n' ' ')
  [ "$(tr 'A-Z' 'a-z' <<<"$dlls")" = "kernel32.dll msvcrt.dll " ] || fail "$exe imports $dlls"
  read -r rva size < <(awk '$1 == "Entry" && $2 == "a" { print $3, $4 }' <<<"$headers")
  [ $((16#$size)) -ge 80 ] || fail "$exe has no load configuration reaching DependentLoadFlags (size 0x$size)"
  base=$(awk '$1 == "ImageBase" { print $2 }' <<<"$headers")
  flags_at=$((16#$base + 16#$rva + 78))
  flags=$("$objdump" -s --start-address=$flags_at --stop-address=$((flags_at + 2)) "$exe" |
    awk '/^ [0-9a-f]+ / && !found { print $2; found = 1 }')
  [ "$flags" = 0008 ] || fail "$exe: DependentLoadFlags bytes '$flags', not 00 08 (0x800)"
  echo "$(basename "$exe"): imports $dlls; load configuration at 0x$rva, DependentLoadFlags 0x0800"
done
