#!/usr/bin/env bash
# make demo: packs the demo application into Quorvane.exe with onefile-pack
# build, starts it twice under Wine and shows what happened.
#
#   demo.sh ONEFILE_PACK DEMO_APP_DIR OUT_DIR WINE_PREFIX
set -euo pipefail
pack=$1 app=$2 out=$3 prefix=$(realpath "$4")
export WINEPREFIX=$prefix WINEDEBUG=-all
exe=$out/Quorvane.exe

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
# Wine's own services start with its first program and keep that program's
# pipes; started here with nothing to hold, they leave our pipes alone.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

# The application's folder as the bootstrap names it, and the same on Linux.
cache_windows=
cache_linux=
run() {
  say "$1: wine Quorvane.exe \"hello world\" second"
  set +e
  wine "$exe" "hello world" second </dev/null 2>&1 | tr -d '\r' | tee "$out/run.log"
  local status=${PIPESTATUS[0]}
  set -e
  echo "-- exit status: $status (the application's own, passed through)"
  cache_windows=$(sed -n 's/^folder: //p' "$out/run.log")
  cache_linux=$(realpath "$(winepath -u "$cache_windows" 2>/dev/null)")
}

# Every file and folder of the cache with its inode, size, modification and
# change times (nanoseconds): any write, replacement or new file shows.
snapshot() { (cd "$cache_linux" && find . -printf '%i %s %T@ %C@ %p\n' | sort -k5); }

say "Packing $app into Quorvane.exe"
mkdir -p "$out"
(cd "$app" && find . -type f | sed 's|^\./|  |' | sort)
"$pack" build "$app" --main demo.exe -o "$exe" --name Quorvane --description "Quorvane demo" -q
ls -l "$exe" | awk '{print "  Quorvane.exe: " $5 " bytes"}'

# The first start should show unpacking: clear what an earlier demo left.
stale=$(winepath -u 'C:\users' 2>/dev/null)/$(whoami)/AppData/Local/Quorvane/1.7.0
rm -rf "$stale"

run "First start (cold: unpacks the application, then starts it)"
[ -d "$cache_linux" ] || { echo "demo: no cache folder at $cache_windows" >&2; exit 1; }
before=$(snapshot)
sleep 1  # so that a rewrite could not hide within the same time stamp
run "Second start (warm: every file is current, so nothing is written)"
after=$(snapshot)

say "Did the warm start write anything?"
if [ "$before" = "$after" ]; then
  echo "No: all $(echo "$after" | wc -l) files and folders of the cache kept their inode, size,"
  echo "modification time and change time (compared with find -printf before and after)."
else
  echo "Yes, these changed:"
  diff <(echo "$before") <(echo "$after") || true
  exit 1
fi

say "Where the cache is"
echo "  on Windows: $cache_windows"
echo "  here:       $cache_linux"
echo
echo "Pack your own application the same way: onefile-pack build YOUR_APP_DIR --main YourApp.exe -o YourApp.exe"
echo "(the guide: docs/guide.md)"
