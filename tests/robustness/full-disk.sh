#!/usr/bin/env bash
# A target on a full disk: a small tmpfs, nearly filled, mapped as a Wine
# drive; the bootstrap must end with the disk-full report and status 2, and a
# start after space has been freed must repair the cache. Needs root (to
# mount); skips with a message where mounting is impossible.
#
#   full-disk.sh WINE_PREFIX TESTS_EXE WORK_DIR
# Exit status 77 means skipped.
set -euo pipefail
prefix=$1 tests=$2 work=$3
export WINEPREFIX=$prefix WINEDEBUG=-all
SKIPPED=77
DISK_SIZE=1m
LEAVE_FREE_KB=192   # less than the application needs, more than its first file

mount_point=$work/full-disk
mkdir -p "$mount_point"
if ! mount -t tmpfs -o size=$DISK_SIZE tmpfs "$mount_point" 2>/dev/null; then
  echo "full-disk: skipped: cannot mount a tmpfs here (needs root and mount rights)"
  exit $SKIPPED
fi
link=
cleanup() {
  [ -n "$link" ] && rm -f "$link"
  umount "$mount_point" 2>/dev/null || umount -l "$mount_point"
}
trap cleanup EXIT

for candidate in p o n m l; do
  if ln -s "$mount_point" "$prefix/dosdevices/$candidate:" 2>/dev/null; then
    link=$prefix/dosdevices/$candidate:
    break
  fi
done
[ -n "$link" ] || { echo "full-disk: no free drive letter in $prefix" >&2; exit 1; }
drive=$(basename "$link" | tr a-z A-Z)

free_kb=$(df -k --output=avail "$mount_point" | tail -1)
dd if=/dev/zero of="$mount_point/filler" bs=1k count=$((free_kb - LEAVE_FREE_KB)) status=none
mkdir "$mount_point/tmp"

ROBUSTNESS_FULL_DISK="$drive\\tmp" wine "$tests" --gtest_filter='HostileEnvironment.AFullDisk*' </dev/null
