#!/usr/bin/env bash
# Runs report_window_tests.exe on a virtual display, in a Wine prefix of its
# own: a prefix whose server was started without a display draws nowhere.
# The prefix is a linked copy of the tests' one, with registries of its own.
#
#   report-window.sh WINE_PREFIX WORK_DIR TESTS_EXE
set -euo pipefail
source_prefix=$1 work=$2 tests=$3
prefix=$work/wine-display
export WINEDEBUG=-all
if [ ! -f "$prefix/system.reg" ]; then
  rm -rf "$prefix"
  cp -al "$source_prefix" "$prefix"
  for registry in "$prefix"/*.reg; do cp --remove-destination "$source_prefix/$(basename "$registry")" "$registry"; done
fi
status=0
WINEPREFIX=$prefix xvfb-run -a wine "$tests" </dev/null || status=$?
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
exit $status
