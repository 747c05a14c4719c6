#!/usr/bin/env bash
# make coverage: branch coverage of the bootstrap's folders under the Windows
# tests, and of tools/ under the host tests, in build folders of their own.
#   - the Windows build with the bootstrap's layers instrumented
#     (-DONEFILE_COVERAGE=ON): its stub, the tests and probes linking them;
#   - a host build instrumented with --coverage whose onefile-pack carries
#     that stub, so that every bootstrap the tests pack counts too;
#   - every test of both, then gcov over the counts (coverage-summary.py).
# The Windows programs write their counts under Wine to the build's own
# paths, reached through drive Z: (GCOV_PREFIX).
#
#   coverage.sh BUILD_DIR DEPS_DIR WINE_PREFIX
set -euo pipefail
build=$1 deps=$2 prefix=$3
jobs=${JOBS:-2}
root=$(cd "$(dirname "$0")/.." && pwd)
# The guide's own make (guide.commands) finds the set-up where this one did.
export DEPS_DIR=$deps
windows=$build/coverage-windows host=$build/coverage-host

cmake -S "$root" -B "$windows" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-toolchain.cmake" \
  -DWINE_PREFIX="$prefix" -DONEFILE_DEPS_DIR="$deps" -DONEFILE_HOST_BUILD_DIR="$host" -DONEFILE_COVERAGE=ON >/dev/null
cmake --build "$windows" -j "$jobs" --target onefile-stub
cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=Release -DONEFILE_STUB="$windows/stub/onefile-stub.exe" \
  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$host" -j "$jobs"
cmake --build "$windows" -j "$jobs"

find "$windows" "$host" -name '*.gcda' -delete
failed=0
echo "== host tests"
ctest --test-dir "$host" --output-on-failure -j "$jobs" || failed=1
# guide.commands builds a checkout of its own, uninstrumented: it counts
# nothing here. Only the Windows programs need the drive in their paths.
echo "== Windows tests (under Wine)"
export WINEPREFIX=$prefix WINEDEBUG=-all
. "$(dirname "$0")/wine-session.sh"
start_wine_session "$windows"
GCOV_PREFIX=Z: ctest --test-dir "$windows" --output-on-failure -j "$jobs" -E '^guide\.commands$' || failed=1
[ $failed = 0 ] || echo "coverage: some tests failed; the figures count what ran" >&2

python3 "$root/scripts/coverage-summary.py" x86_64-w64-mingw32-gcov "$windows" "$root" \
  bootstrap payload paths diag resources
python3 "$root/scripts/coverage-summary.py" gcov "$host" "$root" tools
