#!/usr/bin/env bash
# Damaged payloads: each mutation of a packed application is attached to a
# bootstrap of its own and run under Wine in a fresh target folder with a time
# limit. Prints the count per outcome; fails when any run crashed, hung or
# wrote outside its target folder, when damage to the compressed bytes started
# the application with damaged content (the frame's checksum must catch it),
# or when the undamaged payload does not unpack correctly.
#
#   damaged-payloads.sh HOST_BUILD WINDOWS_BUILD WORK_DIR [--every N] [--timeout SECONDS]
#
# WINEPREFIX names the prefix; ONEFILE_STRESS_SUMMARY, when set, names a file
# that gets the table's figures as "key value" lines.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
host=$1 windows=$2 work=$3
shift 3
every=1 timeout=30
while [ $# -gt 0 ]; do
  case $1 in
    --every) every=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    *) echo "damaged-payloads: unknown option $1" >&2; exit 2 ;;
  esac
done
: "${WINEPREFIX:?names the Wine prefix}"
export WINEDEBUG=-all
jobs=${JOBS:-2}
bin=$windows/bin
mutations=$host/tests/host/robustness-mutations/payload-mutations
pack=$host/tools/onefile-pack/onefile-pack
BATCH=100

rm -rf "$work"
mkdir -p "$work/exe"
"$mutations" app-folder "$work/app" "$bin/robust-app.exe"
# Frames of 128 KiB: the damage meets indexes and the frames after them.
"$pack" payload "$work/app" --main app.exe --frame-size 128K -o "$work/app.payload" >/dev/null
"$mutations" mutate "$work/app" app.exe "$work/app.payload" "$work/mutations" --every "$every"

# One bootstrap per payload, unpacking into {TEMP}\t.
link_one() { bash "$here/make-bootstrap.sh" "$host" "$1" "$2" '{TEMP}\t'; }
export -f link_one
export here host

run_batch() {
  local manifest=$1
  cut -f1 "$manifest" | xargs -P "$jobs" -I{} bash -c 'link_one "$0/mutations/{}.payload" "$0/exe/{}.exe"' "$work"
  wine "$bin/damage-runner.exe" "$manifest" "$work/exe" "$work/runs" "$work/app" app.exe \
    $((timeout * 1000)) "$work/results.tsv" </dev/null
  rm -f "$work"/exe/*.exe
  cut -f1 "$manifest" | sed "s|^|$work/mutations/|; s|$|.payload|" | xargs rm -f
}

# The undamaged payload first: it must unpack correctly, or the judging is wrong.
cp "$work/app.payload" "$work/mutations/sound.payload"
printf 'sound\tundamaged\tthe packed payload as it is\n' > "$work/sound.tsv"
: > "$work/results.tsv"
run_batch "$work/sound.tsv"
if ! grep -q $'^sound\tundamaged\tcorrect\t0\t' "$work/results.tsv"; then
  echo "damaged-payloads: the undamaged payload did not unpack correctly:" >&2
  cat "$work/results.tsv" >&2
  exit 1
fi
: > "$work/results.tsv"

total=$(wc -l < "$work/mutations/manifest.tsv")
split -l $BATCH -d -a 3 "$work/mutations/manifest.tsv" "$work/batch-"
done_count=0
for batch in "$work"/batch-*; do
  run_batch "$batch"
  done_count=$((done_count + $(wc -l < "$batch")))
  echo "damaged-payloads: $done_count of $total run" >&2
done

count() { awk -F'\t' -v o="$1" '$3 == o' "$work/results.tsv" | wc -l; }
tried=$(wc -l < "$work/results.tsv")
outside=$(awk -F'\t' '$4 == 1' "$work/results.tsv" | wc -l)
printf '%-28s %6s\n' "damaged payloads tried" "$tried"
for outcome in message full-buffer correct damaged-content crashed hung; do
  printf '  %-26s %6s\n' "$outcome" "$(count "$outcome")"
done
printf '  %-26s %6s\n' "wrote outside" "$outside"
echo "per kind (kind, outcome, count):"
awk -F'\t' '{ n[$2 "\t" $3]++ } END { for (k in n) print "  " k "\t" n[k] }' "$work/results.tsv" | sort

if [ -n "${ONEFILE_STRESS_SUMMARY:-}" ]; then
  {
    echo "payloads_tried $tried"
    for outcome in message full-buffer correct damaged-content crashed hung; do echo "payloads_$outcome $(count "$outcome")"; done
    echo "payloads_outside $outside"
  } >> "$ONEFILE_STRESS_SUMMARY"
fi

failed=0
[ "$tried" -eq "$total" ] || { echo "damaged-payloads: $((total - tried)) mutations were not run" >&2; failed=1; }
# Record mutations are compressed again, so their checksum is sound: what
# they start with is the records' doing, and is counted, not failed.
bad=$(awk -F'\t' '$3 == "crashed" || $3 == "hung" || $4 == 1 ||
  ($3 == "damaged-content" && $2 !~ /^record-/)' "$work/results.tsv")
if [ -n "$bad" ]; then
  echo "damaged-payloads: runs that crashed, hung, wrote outside their target or started damaged content" \
    "from damaged compressed bytes:" >&2
  echo "$bad" >&2
  failed=1
fi
exit $failed
