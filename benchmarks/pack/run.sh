#!/usr/bin/env bash
# onefile-pack build of a large application against plain zstd of the same
# files: `zstd -19 --long=27` of their tar stream, at the same thread count.
# Both are timed in this run, one after the other, and reported as ratios of
# time and size. The application is the benchmarks' data set (real Windows
# code and data, benchmarks/dataset) with the benchmarks' main program.
# Then build --sign against a plain build of the many-small-files data set
# with a few hundred of Wine's libraries (unsigned PE files) among its files,
# signed with a throw-away certificate.
#
#   run.sh HOST_BUILD WINDOWS_BUILD
#   BENCH_MB       data set size in MB (default 390)
#   BENCH_LEVEL    level on both sides (default 19, the packer's own)
#   BENCH_THREADS  compression threads on both sides (default 2)
#   BENCH_SIGN_PE  Wine libraries added for signing (default 300)
#   BENCH_SIGN_ROUNDS  rounds of the signing comparison (default 3)
#   BENCH_MEMORY_MB    sizes of the incompressible files of the memory rows
#                      (default "300 2000"), packed at level 3
#   BENCH_BASELINE_PACK  another onefile-pack (an earlier build) whose build
#                      of the data sets is timed beside this one's
set -euo pipefail
host=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
threads=${BENCH_THREADS:-2}
work=$host/benchmarks/pack
pack=$host/tools/onefile-pack/onefile-pack
mkdir -p "$work"

# The same application folder as the starts benchmark's, main program first.
bench_payload "$host" "$windows"
app=$BENCH_CACHE/app level=$BENCH_LEVEL_USED
content=$(du -sb "$app" | cut -f1)

now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

start=$(now)
/usr/bin/time -f %M -o "$work/peak" \
  "$pack" build "$app" --main main.exe -o "$work/app.exe" --threads "$threads" --level "$level" -q
build_time=$(seconds "$start")
build_size=$(stat -c %s "$work/app.exe")
build_peak=$(($(tail -1 "$work/peak") / 1024))

start=$(now)
tar -C "$app" -cf - . | zstd -q "-$level" --long=27 -T"$threads" -o "$work/app.tar.zst" -f
zstd_time=$(seconds "$start")
zstd_size=$(stat -c %s "$work/app.tar.zst")

printf 'application: %d files, %d bytes; %d threads, level %d on both sides\n' \
  "$(find "$app" -type f | wc -l)" "$content" "$threads" "$level"
printf '  onefile-pack build:         %7.1f s  %11d bytes  %5d MB peak memory\n' "$build_time" "$build_size" "$build_peak"
printf '  tar | zstd --long=27:       %7.1f s  %11d bytes\n' "$zstd_time" "$zstd_size"
awk -v bt="$build_time" -v zt="$zstd_time" -v bs="$build_size" -v zs="$zstd_size" \
  'BEGIN { printf "  time ratio build/zstd: %.2f   size ratio build/zstd: %.4f\n", bt / zt, bs / zs }'
rm -f "$work/app.exe" "$work/app.tar.zst"

# Both data sets at the benchmark's level, this packer against another, one
# after the other in each of the rounds (medians): the wall time and the
# processor time of each build.
if [ -n "${BENCH_BASELINE_PACK:-}" ]; then
  for shape in large many; do
    bench_payload "$host" "$windows" "$shape"
    for round in $(seq "${BENCH_SIGN_ROUNDS:-3}"); do
      for side in baseline this; do
        packer=$pack
        [ $side = baseline ] && packer=$BENCH_BASELINE_PACK
        /usr/bin/time -f '%e %U %S' -o "$work/$side.time" \
          "$packer" build "$BENCH_CACHE/app" --main main.exe -o "$work/$side.exe" --threads "$threads" \
          --level "$BENCH_LEVEL_USED" -q
        read -r wall user system < <(tail -1 "$work/$side.time")
        echo "$wall" >>"$work/$side-$shape.walls"
        awk -v u="$user" -v s="$system" 'BEGIN { print u + s }' >>"$work/$side-$shape.cpus"
      done
    done
    awk -v tw="$(median <"$work/this-$shape.walls")" -v bw="$(median <"$work/baseline-$shape.walls")" \
      -v tc="$(median <"$work/this-$shape.cpus")" -v bc="$(median <"$work/baseline-$shape.cpus")" -v s="$shape" \
      'BEGIN { printf "%s data set against the baseline packer: wall time ratio %.2f, processor time ratio %.2f\n", s, tw / bw, tc / bc }'
    rm -f "$work"/*.walls "$work"/*.cpus "$work"/baseline.exe "$work"/this.exe
  done
fi

# Memory: one incompressible file beside the main program, packed at the
# default frame size and as one frame (--frame-size 0): the peak resident
# memory of each, which must not grow with the file.
for mb in ${BENCH_MEMORY_MB:-300 2000}; do
  mkdir -p "$work/memory-app"
  cp "$app/main.exe" "$work/memory-app/main.exe"
  head -c $((mb * 1000000)) /dev/urandom >"$work/memory-app/big.bin"
  peaks=()
  for frames in default 0; do
    size_option=()
    [ "$frames" = 0 ] && size_option=(--frame-size 0)
    /usr/bin/time -f %M -o "$work/peak" "$pack" payload "$work/memory-app" --main main.exe -o "$work/memory.payload" \
      --threads "$threads" --level 3 -q "${size_option[@]}"
    peaks+=($(($(tail -1 "$work/peak") / 1024)))
  done
  printf 'memory: one incompressible file of %d MB, level 3, %d threads: %d MB at the default frame size, %d MB with --frame-size 0 (ratio %s)\n' \
    "$mb" "$threads" "${peaks[0]}" "${peaks[1]}" "$(awk -v a="${peaks[0]}" -v b="${peaks[1]}" 'BEGIN { printf "%.2f", a / b }')"
  rm -rf "$work/memory-app" "$work/memory.payload"
done

# Signing: the same build of the same folder, with and without --sign, in
# alternating rounds (medians), as other work on the machine shifts both alike.
# The signing time is the build's: SOURCE_DATE_EPOCH for both.
# The libraries are Wine's below 512 KB, in name order: the size of most
# libraries an application carries.
wine_libraries=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
bench_payload "$host" "$windows" many
signing_app=$work/signing-app
rm -rf "$signing_app" && cp -R "$BENCH_CACHE/app" "$signing_app" && mkdir "$signing_app/wine-libraries"
find "$wine_libraries" -maxdepth 1 -name '*.dll' -size -512k | LC_ALL=C sort |
  awk -v n="${BENCH_SIGN_PE:-300}" 'NR <= n' |  # reads all: no broken pipe
  xargs cp -t "$signing_app/wine-libraries"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/sign.key" -out "$work/sign.pem" -days 2 \
  -subj "/CN=onefile throw-away benchmark certificate" -addext "extendedKeyUsage=codeSigning" 2>/dev/null

# timed_build KIND LEVEL [OPTIONS...]: one build, its time added to KIND.times.
timed_build() {
  local kind=$1 level=$2 start
  shift 2
  start=$(now)
  SOURCE_DATE_EPOCH=1700000000 "$pack" build "$signing_app" --main main.exe -o "$work/$kind.exe" \
    --threads "$threads" --level "$level" -q "$@"
  printf '%s\n' "$(seconds "$start")" >>"$work/$kind.times"
}
# compare_signing LEVEL: the rounds at one level, each other round signed first.
compare_signing() {
  local level=$1 round unsigned_time signed_time images
  : >"$work/unsigned.times"
  : >"$work/signed.times"
  for round in $(seq "${BENCH_SIGN_ROUNDS:-3}"); do
    [ $((round % 2)) -eq 0 ] && timed_build signed "$level" --sign-cert "$work/sign.pem" --sign-key "$work/sign.key"
    timed_build unsigned "$level"
    [ $((round % 2)) -eq 1 ] && timed_build signed "$level" --sign-cert "$work/sign.pem" --sign-key "$work/sign.key"
  done
  unsigned_time=$(median <"$work/unsigned.times") signed_time=$(median <"$work/signed.times")
  # The summary: "the executable and N programs and libraries inside, M unsigned".
  images=$("$pack" verify --signatures "$work/signed.exe" | tail -1 |
    sed -n 's/^\(the executable and \)\{0,1\}\([0-9]*\) program.*/\2/p')
  printf 'signing: %d files, %d of them programs and libraries (%d of Wine'"'"'s added), %d MB; %d threads, level %d, median of %d rounds\n' \
    "$(find "$signing_app" -type f | wc -l)" "$images" "$(find "$signing_app/wine-libraries" -type f | wc -l)" \
    "$(du -sm "$signing_app" | cut -f1)" "$threads" "$level" "${BENCH_SIGN_ROUNDS:-3}"
  printf '  onefile-pack build:         %7.1f s  %11d bytes\n' "$unsigned_time" "$(stat -c %s "$work/unsigned.exe")"
  printf '  onefile-pack build --sign:  %7.1f s  %11d bytes\n' "$signed_time" "$(stat -c %s "$work/signed.exe")"
  awk -v u="$unsigned_time" -v s="$signed_time" -v n="$images" \
    'BEGIN { printf "  time ratio signed/unsigned: %.2f   signing adds %.1f ms per signature\n", s / u, (s - u) * 1000 / (n + 1) }'
}
# At the packer's level, and at level 1, where compression hides less of signing's own cost.
compare_signing "$level"
[ "$level" -eq 1 ] || compare_signing 1
rm -rf "$signing_app" "$work/unsigned.exe" "$work/signed.exe" "$work"/*.times
