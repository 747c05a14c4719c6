#!/usr/bin/env bash
# A folder whose payload grows past what an executable can carry while
# onefile-pack build streams it: the packer checks the compressed stream as it
# writes it (no size known beforehand would do: files may grow after the
# scan), so the folder holds just over 2 GiB that does not compress. The
# build must stop with its one-line refusal and status 1 and leave nothing in
# the output folder. Takes about 2 GiB of disk twice over, for a minute.
#
#   image-limit.sh HOST_BUILD WINDOWS_BUILD WORK_DIR
# ONEFILE_STRESS_SUMMARY, when set, gets "image_limit_refused" (1 or 0).
set -euo pipefail
host=$1 windows=$2 work=$3
pack=$host/tools/onefile-pack/onefile-pack
IMAGE_LIMIT=2147483648  # Windows loads no image of this size or more
PAST_THE_LIMIT=$((IMAGE_LIMIT + 16 * 1024 * 1024))

rm -rf "$work"
mkdir -p "$work/app" "$work/out"
trap 'rm -rf "$work"' EXIT
cp "$windows/bin/robust-app.exe" "$work/app/app.exe"
# Random bytes: the payload is as large as the folder. The fastest level
# keeps the run to the time it takes to read and write the bytes.
head -c "$PAST_THE_LIMIT" /dev/urandom > "$work/app/data.bin"

status=0
"$pack" build "$work/app" --main app.exe --name Robust.App -o "$work/out/app.exe" --level 1 -q 2> "$work/err" || status=$?
shown=$(printf '%s' "$work/out/app.exe" | sed 's/[][\\.*^$+?(){}|]/\\&/g')
expected="^onefile-pack: $shown: the payload grows past [0-9]+ bytes, the most an executable can carry: Windows loads no image of $IMAGE_LIMIT bytes or more\$"
refused=1
if [ "$status" -ne 1 ]; then
  echo "image-limit: onefile-pack build ended with status $status, not 1" >&2
  refused=0
fi
if [ "$(wc -l < "$work/err")" -ne 1 ] || ! grep -Eq "$expected" "$work/err"; then
  echo "image-limit: not the one line of refusal:" >&2
  cat "$work/err" >&2
  refused=0
fi
if [ -n "$(ls -A "$work/out")" ]; then
  echo "image-limit: the refused build left files behind:" >&2
  ls -la "$work/out" >&2
  refused=0
fi
[ "$refused" -eq 1 ] && echo "image-limit: a payload growing past the limit was refused and left nothing"
if [ -n "${ONEFILE_STRESS_SUMMARY:-}" ]; then
  echo "image_limit_refused $refused" >> "$ONEFILE_STRESS_SUMMARY"
fi
[ "$refused" -eq 1 ]
