#!/usr/bin/env bash
# Runs every test: the host build's, then the Windows build's under Wine.
# One wineserver serves the whole run (scripts/wine-session.sh).
#
#   run-tests.sh HOST_BUILD WINDOWS_BUILD WINE_PREFIX [ctest arguments...]
set -uo pipefail
host=$1 windows=$2 prefix=$3
shift 3
export WINEPREFIX=$prefix WINEDEBUG=-all
jobs=${JOBS:-2}

. "$(dirname "$0")/wine-session.sh"
start_wine_session "$windows"

status=0
echo "== host tests"
ctest --test-dir "$host" --output-on-failure -j "$jobs" "$@" || status=1
echo "== Windows tests (under Wine)"
ctest --test-dir "$windows" --output-on-failure -j "$jobs" "$@" || status=1
exit $status
