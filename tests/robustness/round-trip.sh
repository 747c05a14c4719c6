#!/usr/bin/env bash
# Round trip: random application folders (empty files to several MB, deep
# trees, names in many scripts) packed by onefile-pack, attached to a
# bootstrap and unpacked under Wine must come back byte for byte.
#
#   round-trip.sh HOST_BUILD WINDOWS_BUILD WORK_DIR FOLDERS [FIRST_SEED]
# ONEFILE_STRESS_SUMMARY, when set, gets "roundtrip_tried" and "roundtrip_ok".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
host=$1 windows=$2 work=$3 folders=$4 first=${5:-1}
: "${WINEPREFIX:?names the Wine prefix}"
export WINEDEBUG=-all
bin=$windows/bin
mutations=$host/tests/host/robustness-mutations/payload-mutations
pack=$host/tools/onefile-pack/onefile-pack

rm -rf "$work"
mkdir -p "$work"
ok=0
for ((seed = first; seed < first + folders; seed++)); do
  case_dir=$work/$seed
  mkdir -p "$case_dir/exe"
  "$mutations" random-folder "$case_dir/app" "$bin/robust-app.exe" "$seed"
  "$pack" payload "$case_dir/app" --main app.exe -o "$case_dir/app.payload" --level 3 >/dev/null
  bash "$here/make-bootstrap.sh" "$host" "$case_dir/app.payload" "$case_dir/exe/first.exe" '{TEMP}\t'
  printf 'first\tround-trip\tseed %s\n' "$seed" > "$case_dir/manifest.tsv"
  wine "$bin/damage-runner.exe" "$case_dir/manifest.tsv" "$case_dir/exe" "$case_dir/runs" "$case_dir/app" app.exe \
    120000 "$case_dir/results.tsv" </dev/null
  if grep -q $'\tcorrect\t0\t' "$case_dir/results.tsv"; then
    ok=$((ok + 1))
    rm -rf "$case_dir"
  else
    echo "round-trip: seed $seed did not come back byte for byte:" >&2
    cat "$case_dir/results.tsv" >&2
  fi
done
echo "round-trip: $ok of $folders random folders came back byte for byte"
if [ -n "${ONEFILE_STRESS_SUMMARY:-}" ]; then
  echo "roundtrip_tried $folders" >> "$ONEFILE_STRESS_SUMMARY"
  echo "roundtrip_ok $ok" >> "$ONEFILE_STRESS_SUMMARY"
fi
[ "$ok" -eq "$folders" ]
