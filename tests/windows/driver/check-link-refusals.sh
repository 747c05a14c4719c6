#!/usr/bin/env bash
# The link script refuses what it cannot compile in exactly, and leaves no
# executable behind: a template that is not UTF-8, a missing payload.
set -uo pipefail
link=$1 payload=$2 work=$3
mkdir -p "$work" && rm -f "$work"/refused-*.exe
fail() { echo "check-link-refusals: $*" >&2; exit 1; }

bash "$link" "$payload" "$work/refused-template.exe" --template "$(printf 'ab\xffcd')" 2>/dev/null
[ $? -eq 2 ] || fail "a template that is not UTF-8 was not refused with status 2"
bash "$link" "$work/no-such.payload" "$work/refused-payload.exe" 2>/dev/null
[ $? -eq 2 ] || fail "a missing payload was not refused with status 2"
left=$(ls "$work"/refused-*.exe 2>/dev/null)
[ -z "$left" ] || fail "left behind: $left"
echo ok
