#!/usr/bin/env bash
# The installed CMake package, as a user's project meets it: install the host
# build into a fresh prefix, build examples/hello against it with the
# toolchain file the package ships, run what it packed under Wine, and check
# that the packing step reruns exactly when a file of the application folder
# changes or a file is added to it. Then each row of a table of
# onefile_add_executable() calls must reach onefile-pack as the option it
# names, as info and list of its executable show.
#
#   build-example.sh HOST_BUILD SOURCE_DIR WORK_DIR
set -euo pipefail
host_build=$1 source_dir=$2 work=$3
export WINEDEBUG=-all
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work"
cmake --install "$host_build" --prefix "$work/prefix" >/dev/null
[ -x "$work/prefix/bin/onefile-pack" ] || fail "no onefile-pack in the prefix"
cp -r "$source_dir/examples/hello" "$work/src"
# A name of its own, so its cache folder is not the one the guide's check
# unpacks the same example into, perhaps at the same time.
sed -i 's/^  NAME Hello$/  NAME HelloPackageTest/' "$work/src/CMakeLists.txt"
grep -q 'NAME HelloPackageTest' "$work/src/CMakeLists.txt" || fail "the example names no NAME Hello"
cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$work/prefix/lib/cmake/onefile/mingw-toolchain.cmake" \
  -DCMAKE_PREFIX_PATH="$work/prefix" >"$work/configure.log" || { cat "$work/configure.log"; fail "configure"; }
build() { cmake --build "$work/build" -j 2 >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }; }
exe=$work/build/HelloPackageTest.exe
stamp() { stat -c '%Y.%y' "$exe"; }

build
[ -f "$exe" ] || fail "HelloPackageTest.exe was not packed"
"$work/prefix/bin/onefile-pack" list "$exe" >"$work/list.log"
grep -q ' hello.exe$' "$work/list.log" && grep -q ' greeting.txt$' "$work/list.log" ||
  { cat "$work/list.log"; fail "the executable does not carry the application folder"; }

# It runs, with its arguments and its data file, and keeps its exit status.
set +e
out=$(wine "$exe" Ann "Bo Bo" </dev/null 2>"$work/run.err")
status=$?
set -e
expected=$'Hello, Ann!\r\nHello, Bo Bo!\r'
[ "$out" = "$expected" ] || { cat "$work/run.err"; fail "output: $out"; }
[ $status -eq 2 ] || fail "exit status $status, not 2"

# Nothing changed: nothing is packed again.
before=$(stamp)
sleep 1.1
build
[ "$(stamp)" = "$before" ] || fail "packed again without a change"

# A changed file of the folder packs again, and the new content arrives.
printf 'Hi\n' >"$work/src/greeting.txt"
build
[ "$(stamp)" != "$before" ] || fail "not packed again after greeting.txt changed"
out=$(wine "$exe" Cy </dev/null 2>/dev/null || true)
[ "$out" = $'Hi, Cy!\r' ] || fail "after the change: $out"

# A file added to the folder packs again and travels along.
before=$(stamp)
sleep 1.1
printf 'extra\n' >"$work/build/app/notes.txt"
build
[ "$(stamp)" != "$before" ] || fail "not packed again after a file was added"
"$work/prefix/bin/onefile-pack" list "$exe" | grep -q ' notes.txt$' || fail "the added file is missing"

# The options, row by row: the arguments of a call, and a line that info or
# list must then show of its executable. Files are named relative to the
# project's folder; the ready payload is the application folder's.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/src/signer.key" -out "$work/src/signer.pem" -days 7 \
  -subj "/CN=Row Signer" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
"$work/prefix/bin/onefile-pack" payload "$work/build/app" --main hello.exe -o "$work/src/hello.payload" -q
rows=(
  'WINDOWS PROGRESS_WINDOW REMOVE_OLD_VERSIONS CLOSE_THREADS 3|flags:        progress window (--progress-window), old versions removed (--remove-old-versions), files closed on 3 threads beside the unpacking (--close-threads)'
  'WINDOWS|kind:         GUI program'
  'VERSION 3.1 TEMPLATE "{TEMP}\\Row Texts\\{VERSION}"|cache folder: %TEMP%\Row Texts\3.1'
  'LEVEL 3 THREADS 1 FRAME_SIZE 0|no index: every start decodes the whole payload'
  'EXTRA_ARGS --close-threads 2 --cache-folder-length 100|flags:        files closed on 2 threads beside the unpacking (--close-threads)'
  'SIGN_CERT signer.pem SIGN_KEY signer.key SIGN_DESCRIPTION Row SIGN_URL https://example.org|signature:    signed by Row Signer'
  'PAYLOAD hello.payload NAME RowPayload|name:         RowPayload (given with --name)'
)
for i in "${!rows[@]}"; do
  input='APP_DIR "${APP_DIR}" MAIN hello.exe DEPENDS hello hello-data'
  [[ ${rows[$i]%%|*} == *PAYLOAD* ]] && input=""
  echo "onefile_add_executable(row-$i $input ${rows[$i]%%|*})" >>"$work/src/CMakeLists.txt"
done
build
for i in "${!rows[@]}"; do
  exe=$work/build/row-$i.exe
  [[ ${rows[$i]} == *RowPayload* ]] && exe=$work/build/RowPayload.exe
  shown=$("$work/prefix/bin/onefile-pack" info "$exe"; "$work/prefix/bin/onefile-pack" list "$exe")
  grep -qxF -- "${rows[$i]#*|}" <<<"$shown" || { echo "$shown"; fail "row $i (${rows[$i]%%|*}) shows no '${rows[$i]#*|}'"; }
done
leftover=$(find "$work/build" -name '*.onefile-settings.cmake.new')
[ -z "$leftover" ] || fail "the configuration left $leftover"
echo "example project: built, packed, ran, repacked on change; ${#rows[@]} rows of options reached onefile-pack"
