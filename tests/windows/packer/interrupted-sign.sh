#!/usr/bin/env bash
# onefile-pack.exe build --sign and a Ctrl+C while the signing program works,
# on a file of the folder and on the finished executable, and a signing
# program that fails: nothing is left in %TEMP% or beside the output. Two
# signing programs at once hold none of each other's files. Wine turns SIGINT into the Ctrl+C event for
# the packer alone; the signing program, on no console of the packer's, gets
# no event on Windows either and must be ended by the packer.
#
#   interrupted-sign.sh WINDOWS_PACK STALLING_SIGNER WORK_DIR
set -euo pipefail
windows_pack=$1 signer=$2 work=$3
export WINEDEBUG=-all
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work/app" "$work/bin"
# A copy of its own, so that the interrupt by name reaches no other test's
# packer, nor that of another checkout testing on the same machine.
packer=interrupted-packer-$$.exe
cp "$windows_pack" "$work/$packer"
cp "$signer" "$work/bin/osslsigncode.exe"
cp "$windows_pack" "$work/app/main.exe" && cp "$signer" "$work/app/helper.dll"
printf 'data\n' >"$work/app/data.txt" && printf 'not read\n' | tee "$work/cert.pem" >"$work/key.pem"
w() { winepath -w "$work/$1"; }
fresh() { rm -rf "$work/temp" "$work/out" "$work/marker" && mkdir "$work/temp" "$work/out"; }
pack() {  # LOG: the build, its %TEMP% and output in the fresh folders, THREADS signing at once
  MARKER=$(w marker) WINEPATH=$(w bin) wine cmd /c "set TEMP=$(w temp)&& set TMP=$(w temp)&& \
    $(w "$packer") build $(w app) --main main.exe -o $(w out)\\x.exe -q --threads ${THREADS:-1} \
    --sign-cert $(w cert.pem) --sign-key $(w key.pem)" </dev/null >"$work/$1" 2>&1
}
fresh
FAIL_ON=signed- pack failed.log && fail "a build whose signing program failed succeeded"
left=$(find "$work/temp" "$work/out" -mindepth 1)
[ -z "$left" ] || fail "a failed signing left $left; $(cat "$work/failed.log")"
fresh
SIBLINGS=1 THREADS=2 pack siblings.log || fail "two signing programs at once: $(cat "$work/siblings.log")"
for stall in signed- signed-executable; do
  fresh
  STALL_ON=$stall pack "$stall.log" &
  for _ in $(seq 300); do [ -e "$work/marker" ] && break; sleep 0.1; done
  [ -e "$work/marker" ] || fail "stalled on $stall: the signing program never started: $(cat "$work/$stall.log")"
  [ -n "$(ls "$work/temp")" ] || fail "stalled on $stall: no private folder"
  # Only this user may enter it, whatever %TEMP% allows (Wine shows a folder
  # that grants everyone nothing with no permission bits for others).
  [ "$(stat -c %A "$work"/temp/* | cut -c8-10)" = --- ] || fail "stalled on $stall: others may enter the private folder"
  # This run's packer alone: another checkout's run of this test may be under way.
  kill -INT "$(pgrep -f "^[^ ]*${packer//./\\.} build")"
  wait $! || true
  left=$(find "$work/temp" "$work/out" -mindepth 1)
  [ -z "$left" ] || fail "stalled on $stall: left $left; $(cat "$work/$stall.log")"
done
echo "an interrupted signing build left nothing behind"
