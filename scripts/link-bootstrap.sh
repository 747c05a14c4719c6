#!/usr/bin/env bash
# Links one bootstrap executable that carries exactly the bytes of a payload
# file, with a path template and version text compiled in.
#
#   link-bootstrap.sh PAYLOAD OUT.exe [--template TEMPLATE] [--version VERSION]
#
# The build writes the toolchain and the bootstrap's libraries into
# ONEFILE_LINK_CONFIG (a sourced shell file: CC, ENTRY_LIB, BOOTSTRAP_LIBS,
# LINK_FLAGS). The payload is attached with the assembler's .incbin, so a
# payload of hundreds of megabytes links in seconds.
set -euo pipefail

usage() { echo "usage: $0 PAYLOAD OUT.exe [--template TEMPLATE] [--version VERSION]" >&2; exit 2; }
[ $# -ge 2 ] || usage
payload=$1 out=$2
shift 2
template='{CACHE_DIR}\Quorvane\{VERSION}'
version='1.7.0'
while [ $# -gt 0 ]; do
  case $1 in
    --template) [ $# -ge 2 ] || usage; template=$2; shift 2 ;;
    --version) [ $# -ge 2 ] || usage; version=$2; shift 2 ;;
    *) usage ;;
  esac
done
: "${ONEFILE_LINK_CONFIG:?names the link configuration written by the Windows build}"
# shellcheck disable=SC1090
. "$ONEFILE_LINK_CONFIG"

[ -f "$payload" ] || { echo "link-bootstrap: no payload file '$payload'" >&2; exit 2; }
[ -n "$template" ] || { echo "link-bootstrap: the path template is empty" >&2; exit 2; }

# UTF-8 text -> ".short" list of its UTF-16 code units and a terminating zero.
# Text that is not UTF-8 is refused rather than compiled in cut short.
utf16_units() {
  local utf16 units
  utf16=$(printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tu2) \
    || { echo "link-bootstrap: '$1' is not UTF-8 text" >&2; exit 2; }
  units=$(tr -s ' \n' ' ' <<<"$utf16")
  echo "$units 0" | sed 's/^ *//; s/ \+/, /g'
}
template_units=$(utf16_units "$template")
version_units=$(utf16_units "$version")

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
	.short $template_units
	.globl onefileVersionText
	.p2align 1
onefileVersionText:
	.short $version_units
ASM

"$CC" -c "$work/embedded.s" -o "$work/embedded.o"
mkdir -p "$(dirname "$out")"
# wWinMain lives in a library; -u pulls it in before the runtime asks for it.
link() {
  # shellcheck disable=SC2086
  "$CC" -o "$out.tmp.exe" "$work/embedded.o" "$@" -Wl,-u,wWinMain "$ENTRY_LIB" $BOOTSTRAP_LIBS $LINK_FLAGS
}
# The payload's section must start on a page boundary in the file: a loader
# can then map it straight from the file, where an unaligned one has to be
# read into private memory (Wine reads all of it at every start). Sections
# are aligned to 512 bytes in the file, so padding .data, which comes before
# .rdata, by the missing multiple of 512 moves .rdata onto the boundary
# without making the whole file page-aligned (some 20 KB more).
page=4096
rdata_offset() { echo $((16#$("${CC%gcc*}objdump" -h "$1" | awk '$2 == ".rdata" { print $6 }'))); }
link
offset=$(rdata_offset "$out.tmp.exe")
pad=$(( (page - offset % page) % page ))
if [ "$pad" -ne 0 ]; then
  printf '\t.data\n\t.globl onefilePayloadPagePad\nonefilePayloadPagePad:\n\t.zero %d\n' "$pad" > "$work/pad.s"
  "$CC" -c "$work/pad.s" -o "$work/pad.o"
  link "$work/pad.o" -Wl,-u,onefilePayloadPagePad
  offset=$(rdata_offset "$out.tmp.exe")
  [ $((offset % page)) -eq 0 ] || { echo "link-bootstrap: the payload's section stays at byte $offset" >&2; exit 1; }
fi
mv -f "$out.tmp.exe" "$out"
