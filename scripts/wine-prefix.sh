#!/usr/bin/env bash
# Makes sure the Wine prefix that runs the Windows tests is initialised. The
# first use of a new prefix must not happen in parallel, so it happens here,
# once, under a lock; later calls return at once.
#
#   wine-prefix.sh PREFIX
set -euo pipefail
prefix=$1
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.onefile-ready" ]; then
  echo "wine-prefix: initialising $prefix"
  rm -rf "$prefix"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  touch "$prefix/.onefile-ready"
fi
