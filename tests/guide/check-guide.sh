#!/usr/bin/env bash
# Runs every command the user's guide shows, as written, in a scratch folder
# laid out as the guide assumes: this checkout as onefile/, a sample
# application as MyApp/ (the demo application), onefile-pack.exe beside them
# for the Windows commands, and HOME inside the scratch folder.
#
#   check-guide.sh SOURCE_DIR WINDOWS_PACK DEMO_APP_DIR WORK_DIR
set -euo pipefail
source_dir=$1 windows_pack=$2 demo_app=$3 work=$4
export WINEDEBUG=-all HOME=$work
# A make around this test must not lend its job server to the guide's make.
unset MAKEFLAGS MFLAGS MAKELEVEL

rm -rf "$work" && mkdir -p "$work"
ln -s "$source_dir" "$work/onefile"
cp -r "$demo_app" "$work/MyApp" && mv "$work/MyApp/demo.exe" "$work/MyApp/MyApp.exe"
cp "$windows_pack" "$work/onefile-pack.exe"
python3 "$(dirname "$0")/guide-script.py" "$source_dir/docs/guide.md" >"$work/guide.sh"
cd "$work"
bash "$work/guide.sh"
echo "every command of the guide ran"
