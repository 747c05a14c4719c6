#!/usr/bin/env bash
# Runs a test program that reads real windows back on a virtual display, in
# a Wine prefix of its own: a prefix whose server was started without a
# display draws nowhere. The prefix is a linked copy of the tests' one, with
# registries of its own, made once.
#
#   run-on-display.sh WINE_PREFIX WORK_DIR TESTS_EXE [test arguments...]
set -euo pipefail
source_prefix=$1 work=$2 tests=$3
shift 3
prefix=$work/wine-display
export WINEDEBUG=-all
if [ ! -f "$prefix/system.reg" ]; then
  rm -rf "$prefix" "$prefix.tmp"
  cp -al "$source_prefix" "$prefix.tmp"
  for registry in "$prefix.tmp"/*.reg; do cp --remove-destination "$source_prefix/$(basename "$registry")" "$registry"; done
  mv "$prefix.tmp" "$prefix"
fi
# The prefix's server draws on the display it first met: it ends with the run.
status=0
WINEPREFIX=$prefix xvfb-run -a sh -c 'wine "$@"; status=$?; wineserver -k; exit $status' run "$tests" "$@" </dev/null ||
  status=$?
exit $status
