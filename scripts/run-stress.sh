#!/usr/bin/env bash
# The long robustness runs (make stress): every damaged payload, damaged
# caches, rounds of concurrent starts, hostile environments with a full disk,
# a folder past the image limit, random folders round-tripped, and the
# fuzzers for a bounded time. Ends with
# the table of figures; fails when any part failed.
#
#   run-stress.sh HOST_BUILD WINDOWS_BUILD WINE_PREFIX
# STRESS_FUZZ_SECONDS (per fuzzer, default 300), STRESS_ROUNDS (concurrent
# rounds, default 10) and STRESS_FOLDERS (random folders, default 30) scale it.
set -uo pipefail
host=$1 windows=$2 prefix=$3
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=$prefix WINEDEBUG=-all
work=$(dirname "$windows")/stress
bin=$windows/bin
tests=$bin/robustness_tests.exe
rm -rf "$work"
mkdir -p "$work"
summary=$work/summary.txt
: > "$summary"
export ONEFILE_STRESS_SUMMARY=$summary

. "$(dirname "$0")/wine-session.sh"
start_wine_session "$windows"

failed=()
part() {
  local name=$1
  shift
  echo "== stress: $name"
  "$@" || failed+=("$name")
}

part "damaged payloads" bash "$root/tests/robustness/damaged-payloads.sh" "$host" "$windows" "$work/payloads"
part "damaged caches" wine "$tests" --gtest_filter='DamagedCache.*' </dev/null
part "interrupted runs" bash "$root/tests/robustness/interrupted-runs.sh" "$bin/robustness_interrupt_tests.exe" "$work"
part "concurrent starts" env ROBUSTNESS_ROUNDS="${STRESS_ROUNDS:-10}" wine "$tests" \
  --gtest_filter='ConcurrentStarts.*' </dev/null
part "hostile environments" wine "$tests" --gtest_filter='HostileEnvironment.*' </dev/null
full_disk() {
  bash "$root/tests/robustness/full-disk.sh" "$prefix" "$tests" "$work"
  local status=$?
  [ $status -eq 77 ] && return 0
  return $status
}
part "full disk" full_disk
part "image limit" bash "$root/tests/robustness/image-limit.sh" "$host" "$windows" "$work/image-limit"
part "round trip" bash "$root/tests/robustness/round-trip.sh" "$host" "$windows" "$work/round-trip" \
  "${STRESS_FOLDERS:-30}"
part "fuzzing" bash "$root/tests/fuzz/run-fuzzers.sh" "$(dirname "$windows")/fuzz" "${STRESS_FUZZ_SECONDS:-300}" \
  "$bin/payload-data"

figure() { awk -v k="$1" '$1 == k { s += $2; found = 1 } END { print found ? s : "-" }' "$summary"; }
echo
echo "== robustness figures"
printf '| %-44s | %12s |\n' "figure" "value"
printf '|%s|%s|\n' "----------------------------------------------" "--------------"
row() { printf '| %-44s | %12s |\n' "$1" "$2"; }
row "damaged payloads tried" "$(figure payloads_tried)"
row "  ended with a message (status 2)" "$(figure payloads_message)"
row "  silent full buffer (status 4)" "$(figure payloads_full-buffer)"
row "  unpacked correctly" "$(figure payloads_correct)"
row "  unpacked damaged content without a report" "$(figure payloads_damaged-content)"
row "  crashed" "$(figure payloads_crashed)"
row "  hung" "$(figure payloads_hung)"
row "  wrote outside the target" "$(figure payloads_outside)"
row "damaged caches repaired" "$(figure caches_repaired) of $(figure caches_tried)"
row "concurrent starts succeeded" "$(figure concurrent_ok) of $(figure concurrent_starts)"
row "  programs that saw a file other than packed" "$(figure concurrent_saw_damage)"
row "  Wine could not start the program (1359)" "$(figure concurrent_wine_launch_failures)"
row "  caches whole after the scenes" "$(figure concurrent_caches_whole) of $(figure concurrent_scenes)"
row "hostile environments passed" "$(figure hostile_passed) of $(figure hostile_tried)"
row "payload past the image limit refused" "$(figure image_limit_refused) of 1"
row "random folders round-tripped" "$(figure roundtrip_ok) of $(figure roundtrip_tried)"
row "fuzzing time (s)" "$(figure fuzz_seconds)"
row "fuzzing executions" "$(figure fuzz_runs)"

if [ ${#failed[@]} -gt 0 ]; then
  printf 'stress: failed: %s\n' "${failed[*]}" >&2
  exit 1
fi
