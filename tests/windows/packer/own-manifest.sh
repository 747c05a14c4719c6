#!/usr/bin/env bash
# onefile-pack.exe's own manifest, read back with windres (a tool this project
# did not write): one manifest, asking for no elevation, long-path aware and
# with UTF-8 as the active code page.
#
#   own-manifest.sh WINDOWS_PACK WINDRES
set -euo pipefail
pack=$1 windres=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

resources=$("$windres" -O rc -i "$pack") || fail "windres cannot read $pack"
[ "$(grep -c '^1 24 ' <<<"$resources")" -eq 1 ] || fail "not one manifest (type 24, ID 1): $resources"
# The manifest's text, its quoted lines joined, quotes undoubled.
manifest=$(sed -n '/^1 24 /,/^END/p' <<<"$resources" | sed -n 's/^  "\(.*\)\\n"$/\1/p' | sed 's/""/"/g')
expect() { grep -qF -- "$1" <<<"$manifest" || fail "the manifest lacks $1:
$manifest"; }
expect '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>'
expect '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>'
expect '<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>'
expect '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>'
echo "onefile-pack.exe: its manifest is as meant"
