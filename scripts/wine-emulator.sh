#!/usr/bin/env bash
# How CTest runs a Windows test program: under Wine, started again when
# Wine's start of it died before the program ran.
#
# Rarely (a few times in some ten thousand starts here, never when tried on
# purpose), a new Wine process dies in Wine's own start-up code, before the
# program's first instruction, and with WINEDEBUG=-all it says nothing. The
# programs run this way are GoogleTest programs, which print on standard
# output before anything else: one that failed without a byte of output never
# ran, so starting it again changes nothing a test looks at.
#
#   wine-emulator.sh PROGRAM [ARGUMENTS...]     (WINEPREFIX set by the caller)
set -uo pipefail
attempts=3
output=$(mktemp) || exit 1
trap 'rm -f "$output"' EXIT
for attempt in $(seq "$attempts"); do
  wine "$@" | tee "$output"
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] || [ -s "$output" ]; then exit "$status"; fi
  echo "wine-emulator: $1 ended with status $status before it printed anything (attempt $attempt of $attempts)" >&2
done
exit "$status"
