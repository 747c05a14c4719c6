#!/usr/bin/env bash
# Points an executable's load-configuration directory at its _load_config_used
# structure (resources/load-configuration.cpp), whose address the link map
# gives: the linker lays the structure out but leaves the directory entry
# empty. Then checks the result with objdump: the entry, and the dependent
# load flags in the structure.
#
#   set-load-configuration.sh OBJDUMP EXE MAP
set -euo pipefail
objdump=$1 exe=$2 map=$3
fail() { echo "set-load-configuration: $*" >&2; exit 1; }
# The structure's size, and where its DependentLoadFlags field lies in it:
# the figures the structure is compiled against.
figures=$(dirname "$0")/../resources/load-configuration.h
figure() {
  local value
  value=$(sed -n "s/^ *$1 = \([0-9]\+\),.*/\1/p" "$figures")
  [ -n "$value" ] || fail "no $1 in $figures"
  echo "$value"
}
SIZE=$(figure LOAD_CONFIGURATION_SIZE)
FLAGS_OFFSET=$(figure LOAD_CONFIGURATION_FLAGS_OFFSET)
readonly SIZE FLAGS_OFFSET SEARCH_SYSTEM32=0800

address=$(awk '$2 == "_load_config_used" && $1 ~ /^0x/ { print $1; exit }' "$map")
[ -n "$address" ] || fail "no _load_config_used in $map"
base=$("$objdump" -p "$exe" | awk '$1 == "ImageBase" { print $2 }')
rva=$((address - 16#$base))

# The PE32+ optional header follows the signature and the file header; its
# data directories start 112 bytes in, eight bytes each; the load
# configuration's is the eleventh.
pe_offset=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
entry=$((pe_offset + 4 + 20 + 112 + 10 * 8))
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
printf "$(le32 $rva)$(le32 $SIZE)" | dd of="$exe" bs=1 seek="$entry" conv=notrunc status=none

headers=$("$objdump" -p "$exe")
grep -Eq "^Entry a 0*$(printf '%x' $rva) 0*$(printf '%x' $SIZE) Load Configuration Directory" <<<"$headers" ||
  fail "the directory entry did not take: $(grep 'Entry a' <<<"$headers")"
size=$("$objdump" -s --start-address=$((address)) --stop-address=$((address + 4)) "$exe" |
  awk '/^ [0-9a-f]+ / && !found { print $2; found = 1 }')
[ "$size" = "$(printf '%02x%02x0000' $((SIZE & 255)) $((SIZE >> 8)))" ] || fail "the structure's Size field is '$size', not $SIZE"
flags=$("$objdump" -s --start-address=$((address + FLAGS_OFFSET)) --stop-address=$((address + FLAGS_OFFSET + 2)) "$exe" |
  awk '/^ [0-9a-f]+ / && !found { print $2; found = 1 }')
[ "$flags" = "${SEARCH_SYSTEM32:2:2}${SEARCH_SYSTEM32:0:2}" ] || fail "DependentLoadFlags bytes are '$flags', not 0x$SEARCH_SYSTEM32"
