#!/usr/bin/env bash
# onefile-pack.exe killed while it writes (TerminateProcess, as Task Manager
# or a cancelled CI job does) leaves neither its output nor a partial file.
# One killed once its output was complete (while signing) leaves its partial
# file: the next run to the same output removes it, and says so.
#
#   killed-pack.sh WINDOWS_PACK WORK_DIR
set -euo pipefail
windows_pack=$1 work=$2
export WINEDEBUG=-all
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work/app"
# A copy of its own, so that the kill by name reaches no other test's packer.
killed=$work/killed-packer.exe
cp "$windows_pack" "$killed"
printf 'stand-in\n' >"$work/app/Start.exe"
head -c 60000000 /dev/urandom >"$work/app/big.bin"  # minutes at level 19 on one thread
out_windows="$(winepath -w "$work")\\out.payload"
wine "$killed" payload "$(winepath -w "$work/app")" --main Start.exe -o "$out_windows" --level 19 --threads 1 \
  </dev/null >"$work/pack.log" 2>&1 &
launcher=$!

# Kill it once the partial output is being written.
for _ in $(seq 200); do
  compgen -G "$work/out.payload.partial-*" >/dev/null && break
  sleep 0.1
done
compgen -G "$work/out.payload.partial-*" >/dev/null || { cat "$work/pack.log"; fail "no partial output appeared"; }
wine taskkill /f /im killed-packer.exe </dev/null >/dev/null 2>&1 || fail "taskkill"
wait "$launcher" || true

left=$(find "$work" -maxdepth 1 -name 'out.payload*')
[ -z "$left" ] || fail "the killed run left $left"

printf 'left by a killed run\n' >"$work/out.payload.partial-0a1b2c"
rm "$work/app/big.bin"
wine "$killed" payload "$(winepath -w "$work/app")" --main Start.exe -o "$out_windows" -q </dev/null \
  >"$work/next.log" 2>&1 || { cat "$work/next.log"; fail "the next run"; }
grep -qF "removed $out_windows.partial-0a1b2c, the unfinished output of an earlier run that was killed" "$work/next.log" ||
  { cat "$work/next.log"; fail "the next run did not say it removed the partial file"; }
left=$(find "$work" -maxdepth 1 -name 'out.payload*' | sed "s|^$work/||")
[ "$left" = out.payload ] || fail "after the next run: $left"
echo "a killed pack left nothing behind, and the next run removed a partial file left before"
