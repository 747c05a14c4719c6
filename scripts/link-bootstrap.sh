#!/usr/bin/env bash
# Links one bootstrap executable that carries exactly the bytes of a payload
# file, with a path template and version text compiled in.
#
#   link-bootstrap.sh PAYLOAD OUT.exe [TEMPLATE] [VERSION]
#
# The build writes the toolchain and the bootstrap's libraries into
# ONEFILE_LINK_CONFIG (a sourced shell file: CC, ENTRY_LIB, BOOTSTRAP_LIBS,
# LINK_FLAGS). The payload is attached with the assembler's .incbin, so a
# payload of hundreds of megabytes links in seconds.
set -euo pipefail

default_template='{CACHE_DIR}\Quorvane\{VERSION}'
default_version='1.7.0'

[ $# -ge 2 ] && [ $# -le 4 ] || { echo "usage: $0 PAYLOAD OUT.exe [TEMPLATE] [VERSION]" >&2; exit 2; }
payload=$1 out=$2 template=${3-$default_template} version=${4-$default_version}
: "${ONEFILE_LINK_CONFIG:?names the link configuration written by the Windows build}"
# shellcheck disable=SC1090
. "$ONEFILE_LINK_CONFIG"

[ -f "$payload" ] || { echo "link-bootstrap: no payload file '$payload'" >&2; exit 2; }
[ -n "$template" ] || { echo "link-bootstrap: the path template is empty" >&2; exit 2; }

# UTF-8 text -> ".short" list of its UTF-16 code units and a terminating zero.
utf16_units() {
  local units
  units=$(printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tu2 | tr -s ' \n' ' ')
  echo "$units 0" | sed 's/^ *//; s/ \+/, /g'
}

# .incbin takes a quoted path: escape what the assembler would read otherwise.
asm_path=$(readlink -f "$payload" | sed 's/\\/\\\\/g; s/"/\\"/g')

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/embedded.s" <<ASM
	.section .rdata,"dr"
	.globl onefilePayload
	.p2align 4
onefilePayload:
	.incbin "$asm_path"
onefilePayloadEnd:
	.globl onefilePayloadSize
	.p2align 3
onefilePayloadSize:
	.quad onefilePayloadEnd - onefilePayload
	.globl onefilePathTemplate
	.p2align 1
onefilePathTemplate:
	.short $(utf16_units "$template")
	.globl onefileVersionText
	.p2align 1
onefileVersionText:
	.short $(utf16_units "$version")
ASM

"$CC" -c "$work/embedded.s" -o "$work/embedded.o"
mkdir -p "$(dirname "$out")"
# wWinMain lives in a library; -u pulls it in before the runtime asks for it.
# shellcheck disable=SC2086
"$CC" -o "$out.tmp.exe" "$work/embedded.o" -Wl,-u,wWinMain "$ENTRY_LIB" $BOOTSTRAP_LIBS $LINK_FLAGS
mv -f "$out.tmp.exe" "$out"
