#!/usr/bin/env bash
# Runs every test: the host build's, then the Windows build's under Wine.
# A wineserver kept running for the whole run makes each Wine start cheap;
# it is ended when the run ends.
#
#   run-tests.sh HOST_BUILD WINDOWS_BUILD WINE_PREFIX [ctest arguments...]
set -uo pipefail
host=$1 windows=$2 prefix=$3
shift 3
export WINEPREFIX=$prefix WINEDEBUG=-all
jobs=${JOBS:-2}

wineserver -p
trap 'wineserver -k 2>/dev/null; true' EXIT
# Wine's own background services start with the first program; started here,
# they hold no pipe of ctest's open, which would make ctest wait for them.
wine cmd /c exit </dev/null >/dev/null 2>&1

status=0
echo "== host tests"
ctest --test-dir "$host" --output-on-failure -j "$jobs" "$@" || status=1
echo "== Windows tests (under Wine)"
ctest --test-dir "$windows" --output-on-failure -j "$jobs" "$@" || status=1
exit $status
