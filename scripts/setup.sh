#!/usr/bin/env bash
# Installs and builds everything the project needs on a Debian 12 machine
# (run as root). Safe to run again: each stage is skipped once its result is
# in place, so a set-up machine passes through in well under a second.
#
#   DEPS_DIR  where built dependencies live (default: .deps in the checkout)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
deps=${DEPS_DIR:-$top/.deps}
mingw=x86_64-w64-mingw32
# shellcheck source=SCRIPTDIR/../cmake/compiler-flags.sh
. "$top/cmake/compiler-flags.sh"
mkdir -p "$deps"

packages=(
  g++-mingw-w64-x86-64-win32 gcc-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
  wine wine64 libz-mingw-w64-dev
  googletest libzstd-dev zlib1g-dev zstd cmake make g++ dpkg-dev python3
  osslsigncode openssl
  # a key on a token for the signing tests: SoftHSM2, and the OpenSSL engine
  # through which osslsigncode reaches a PKCS#11 module
  softhsm2 libengine-pkcs11-openssl
  # what the tests drive and read back with: terminals (script, tmux) and
  # resources (wrestool); GNU time for the benchmarks
  bsdutils tmux icoutils time
  # a virtual display for the tests that read a real window back
  xvfb xauth
  # what the benchmarks compare with, and their chart
  zip unzip 7zip gnuplot-nox
  # the many-file data set: a language runtime's library with its test suite
  libpython3.11-testsuite
  # the release files (make dist) and their checks: the Debian package's
  # checker and manual pages; fresh Debian roots for make dist-check
  lintian man-db debootstrap curl
)

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 update -q
  apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
}

# zstd's library sources come from Debian's source package; only the
# decompressor is compiled, which is all the bootstrap links.
fetch_zstd_source() {
  [ -d "$deps/src/zstd" ] && return 0
  local list=/etc/apt/sources.list.d/onefile-debian-sources.sources
  if ! cmp -s "$here/debian-sources.sources" "$list"; then
    cp "$here/debian-sources.sources" "$list"
    apt-get -o DPkg::Lock::Timeout=600 update -q
  fi
  rm -rf "$deps/src/zstd.tmp" && mkdir -p "$deps/src/zstd.tmp"
  (cd "$deps/src/zstd.tmp" && apt-get source -q libzstd >/dev/null)
  mv "$deps/src/zstd.tmp"/libzstd-*/ "$deps/src/zstd"
  rm -rf "$deps/src/zstd.tmp"
}

# The bootstrap's zstd: decompression only, no legacy formats, and no
# assembly (its amd64 decoder loop follows the System V calling convention,
# not Windows'), built by zstd's own lib/Makefile. A stamp beside the library
# holds the build's settings, so a change of them rebuilds it.
build_zstd_decoder() {
  local out=$deps/mingw/lib/libzstd.a stamp=$deps/mingw/lib/libzstd.settings
  local obj=$deps/build/zstd-decoder
  local settings=(
    CC="$mingw-gcc-win32" AR="$mingw-ar" CFLAGS="$ZSTD_DECODER_CFLAGS"
    ZSTD_LIB_COMPRESSION=0 ZSTD_LIB_DICTBUILDER=0 ZSTD_LIB_DEPRECATED=0
    ZSTD_LEGACY_SUPPORT=0 ZSTD_NO_ASM=1
  )
  [ -f "$out" ] && [ "$(cat "$stamp" 2>/dev/null)" = "${settings[*]}" ] && return 0
  echo "setup: cross-building the zstd decompressor"
  rm -rf "$obj" && mkdir -p "$deps/mingw/lib" "$deps/mingw/include"
  make -s -C "$deps/src/zstd/lib" -j2 "${settings[@]}" BUILD_DIR="$obj" "$obj/static/libzstd.a" >/dev/null
  cp "$deps/src/zstd/lib/zstd.h" "$deps/src/zstd/lib/zstd_errors.h" "$deps/mingw/include/"
  cp "$obj/static/libzstd.a" "$out.tmp" && mv "$out.tmp" "$out"
  printf '%s' "${settings[*]}" > "$stamp"
}

# zstd for onefile-pack.exe, the packer built for Windows: the whole library
# with the compressor and its worker threads (Win32 threads, so the win32
# thread model suffices), built by zstd's own Makefile with its objects
# outside the sources, into a folder of its own.
build_zstd_for_packer() {
  local out=$deps/mingw-pack/lib/libzstd.a obj=$deps/build/zstd-pack
  [ -f "$out" ] && return 0
  echo "setup: cross-building zstd with the compressor for onefile-pack.exe"
  rm -rf "$obj" && mkdir -p "$deps/mingw-pack/lib" "$deps/mingw-pack/include"
  make -s -C "$deps/src/zstd/lib" -j2 CC="$mingw-gcc-win32" AR="$mingw-ar" MOREFLAGS=-DZSTD_MULTITHREAD \
    ZSTD_LEGACY_SUPPORT=0 ZSTD_NO_ASM=1 ZSTD_LIB_DICTBUILDER=0 ZSTD_LIB_DEPRECATED=0 \
    BUILD_DIR="$obj" "$obj/static/libzstd.a" >/dev/null
  cp "$deps/src/zstd/lib/zstd.h" "$deps/src/zstd/lib/zstd_errors.h" "$deps/mingw-pack/include/"
  cp "$obj/static/libzstd.a" "$out.tmp" && mv "$out.tmp" "$out"
}

# GoogleTest for the Windows test programs, from Debian's googletest sources.
# GCC's win32 thread model has no std::mutex, which GoogleTest's Notification
# uses; a force-included header gives it one built on a Win32 event.
build_gtest() {
  local out=$deps/mingw/lib/libgtest.a
  [ -f "$out" ] && return 0
  echo "setup: cross-building GoogleTest"
  local src=/usr/src/googletest/googletest obj=$deps/build/gtest
  local notify=$top/tests/windows/support/gtest-notification.h
  rm -rf "$obj" && mkdir -p "$obj" "$deps/mingw/lib" "$deps/mingw/include"
  for f in gtest-all gtest_main; do
    $mingw-g++-win32 -std=c++17 -O1 -include "$notify" -I"$src/include" -I"$src" \
      -c "$src/src/$f.cc" -o "$obj/$f.o" &
  done
  wait
  $mingw-ar rcs "$deps/mingw/lib/libgtest_main.a" "$obj/gtest_main.o"
  rm -rf "$deps/mingw/include/gtest" && cp -r "$src/include/gtest" "$deps/mingw/include/"
  $mingw-ar rcs "$out.tmp" "$obj/gtest-all.o" && mv "$out.tmp" "$out"
}

# A Windows program this project did not write, for the tests that pack one:
# 7-Zip's x64 console build, from the npm package that ships it.
SEVEN_ZIP_PACKAGE=7zip-bin@5.2.0
fetch_windows_programs() {
  local out=$deps/windows-programs/7za.exe
  [ -f "$out" ] && return 0
  echo "setup: fetching $SEVEN_ZIP_PACKAGE"
  local tmp=$deps/windows-programs.tmp
  rm -rf "$tmp" && mkdir -p "$tmp" "$(dirname "$out")"
  (cd "$tmp" && npm pack --silent "$SEVEN_ZIP_PACKAGE" >/dev/null && tar -xzf ./*.tgz package/win/x64/7za.exe)
  mv "$tmp/package/win/x64/7za.exe" "$out"
  rm -rf "$tmp"
}

# npm (with Node.js) packs and installs the npm packages of make dist. A
# machine whose Node.js came from elsewhere keeps it: npm is taken from
# Debian only where there is none.
install_npm() {
  command -v npm >/dev/null && command -v node >/dev/null && return 0
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends npm
}

install_packages
install_npm
fetch_windows_programs
fetch_zstd_source
build_zstd_decoder
build_zstd_for_packer
build_gtest
