#!/usr/bin/env bash
# A local application-data folder that the system cannot name makes {CACHE_DIR}
# fail, with no fallback to another folder, while {HOME} still expands.
# The folder is moved onto a drive that does not exist (Wine creates a missing
# folder on an existing drive) in a copy of the test prefix: the copy shares
# the prefix's files through hard links, has its own registry files and its
# own wineserver, which is ended before the copy is removed.
#
#   shell-folder-missing.sh WINE_PREFIX TEMPLATE_PROBE WORK_FOLDER
set -euo pipefail
prefix=$1 probe=$2 work=$3
copy=$work/prefix-without-local-appdata
mkdir -p "$work"

export WINEDEBUG=-all
remove_copy() {
  if [ -d "$copy" ]; then
    WINEPREFIX=$copy wineserver -k 2>/dev/null || true
    WINEPREFIX=$copy wineserver -w 2>/dev/null || true
    rm -rf "$copy"
  fi
}
remove_copy
trap remove_copy EXIT

cp -al "$prefix" "$copy"
for registry in "$prefix"/*.reg; do
  cp --remove-destination "$registry" "$copy/$(basename "$registry")"
done
rm -f "$copy/dosdevices/k:"
missing='str(2):"K:\\\\missing"'
sed -i "s|^\"Local AppData\"=.*|\"Local AppData\"=$missing|" "$copy/user.reg"
[ "$(grep -c "^\"Local AppData\"=str(2):\"K:" "$copy/user.reg")" -ge 1 ] || { echo "registry not changed" >&2; exit 1; }

export WINEPREFIX=$copy
status=0
expect() {
  local template=$1 expected=$2 got
  got=$(wine "$probe" "$template" </dev/null)
  if [ "$got" != "$expected" ]; then
    echo "$template: expected '$expected', got '$got'" >&2
    status=1
  else
    echo "ok: $template -> $got"
  fi
}
expect 'a\{CACHE_DIR}\x' '0|a\'
profile=$(wine "$probe" '{HOME}' </dev/null)
[[ $profile == '1|'?':\'* ]] || { echo "{HOME}: got '$profile'" >&2; status=1; }
echo "ok: {HOME} -> $profile"
exit $status
