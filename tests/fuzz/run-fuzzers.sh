#!/usr/bin/env bash
# Builds the payload parser's, the index reader's and the program reader's
# fuzzers with Debian's clang (address and undefined-behaviour sanitizers)
# and runs each for a bounded time, starting from the kept regressions, the
# test payloads and a few of Wine's programs. A crash is copied into
# regressions/, where the host tests replay it from then on, and fails the run.
#
#   run-fuzzers.sh BUILD_DIR SECONDS_PER_FUZZER [SEED_DIR...]
# FUZZERS names the fuzzers to run (default: payload records index program).
# ONEFILE_STRESS_SUMMARY, when set, gets "fuzz_seconds" and "fuzz_runs".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$1 seconds=$2
shift 2
MAX_LEN=65536
# Programs are larger: room for a small real one whole.
PROGRAM_MAX_LEN=131072
WINE_PROGRAMS=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
fuzzers=${FUZZERS:-payload records index program}

if ! command -v clang++-14 >/dev/null || ! ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "run-fuzzers: installing clang and its fuzzing runtime" >&2
  apt-get -o DPkg::Lock::Timeout=600 install -y -q clang-14 libclang-rt-14-dev >/dev/null
fi

flags="-O1 -g -fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined"
cmake -S "$root" -B "$build" -DONEFILE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target payload-fuzz records-fuzz index-fuzz program-fuzz >/dev/null

total_runs=0 failed=0
for fuzzer in $fuzzers; do
  corpus=$build/corpus-$fuzzer crashes=$build/crashes-$fuzzer
  rm -rf "$crashes"
  mkdir -p "$corpus" "$crashes"
  cp "$here/regressions/$fuzzer"/* "$corpus/" 2>/dev/null || true
  max_len=$MAX_LEN
  if [ "$fuzzer" = program ]; then
    max_len=$PROGRAM_MAX_LEN
    for seed in winver.exe icinfo.exe control.exe; do
      if [ -f "$WINE_PROGRAMS/$seed" ]; then cp "$WINE_PROGRAMS/$seed" "$corpus/wine-$seed"; fi
    done
    # The walk reads the bytes as a manifest too.
    cp "$root/resources/app.manifest" "$corpus/manifest-seed"
  fi
  for seeds in "$@"; do
    case $fuzzer in
      payload) find "$seeds" -maxdepth 1 -name '*.payload' -size -1M -exec cp {} "$corpus/" \; ;;
      records) find "$seeds" -maxdepth 1 -name '*.stream' -size -1M -exec cp {} "$corpus/" \; ;;
      index) find "$seeds" -maxdepth 1 -name 'index-*.payload' -size -1M -exec cp {} "$corpus/" \; ;;
    esac
  done
  log=$build/$fuzzer.log
  set +e
  ASAN_OPTIONS=detect_leaks=1 "$build/tests/fuzz/$fuzzer-fuzz" "$corpus" \
    -max_total_time="$seconds" -max_len=$max_len -timeout=20 -rss_limit_mb=2560 \
    -print_final_stats=1 -artifact_prefix="$crashes/" >"$log" 2>&1
  status=$?
  set -e
  runs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log" | tail -1)
  total_runs=$((total_runs + ${runs:-0}))
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
  echo "run-fuzzers: $fuzzer: ${runs:-0} executions in ${seconds} s (${coverage:-no coverage figures}), exit status $status"
  found=$(find "$crashes" -type f | wc -l)
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    failed=1
    for crash in "$crashes"/*; do
      [ -f "$crash" ] || continue
      cp "$crash" "$here/regressions/$fuzzer/found-$(basename "$crash")"
      echo "run-fuzzers: $fuzzer found $(basename "$crash"); kept in tests/fuzz/regressions/$fuzzer" >&2
    done
    tail -40 "$log" >&2
  fi
done

if [ -n "${ONEFILE_STRESS_SUMMARY:-}" ]; then
  echo "fuzz_seconds $(($(wc -w <<<"$fuzzers") * seconds))" >> "$ONEFILE_STRESS_SUMMARY"
  echo "fuzz_runs $total_runs" >> "$ONEFILE_STRESS_SUMMARY"
fi
exit $failed
