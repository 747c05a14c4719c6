#!/usr/bin/env bash
# Writes every release file of onefile-pack into one folder, from one build:
#
#   onefile-pack-<version>-linux-x86_64.tar.gz    the static packer, the CMake
#                                                  package, the documents
#   onefile-pack-<version>-windows-x86_64.zip      onefile-pack.exe, the same
#   onefile-pack_<version>_amd64.deb               made by CPack
#   onefile-pack-<version>.tgz,
#   onefile-pack-linux-x64-<version>.tgz,
#   onefile-pack-win32-x64-<version>.tgz           the npm packages
#   SHA256SUMS
#
# Every time stamp is SOURCE_DATE_EPOCH and every owner root, entries go in
# name order and compressors store no name or time: the same commit and
# SOURCE_DATE_EPOCH give the same bytes.
#
#   make-dist.sh HOST_BUILD WINDOWS_BUILD OUT_DIR   (SOURCE_DATE_EPOCH set)
set -euo pipefail
host_build=$1 windows_build=$2 out=$3
: "${SOURCE_DATE_EPOCH:?make-dist.sh: SOURCE_DATE_EPOCH must be set (make dist sets it from the commit)}"
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)

pack=$host_build/tools/onefile-pack/onefile-pack
static_pack=$host_build/tools/onefile-pack/onefile-pack-static
windows_pack=$windows_build/tools/onefile-pack/onefile-pack.exe
version=$("$pack" --version | sed -n 's/^onefile-pack \([0-9][0-9.]*\)$/\1/p')
[ -n "$version" ] || { echo "make-dist: cannot read the version from $pack --version" >&2; exit 1; }

# OUT_DIR is replaced whole: refuse a folder of anything but an earlier run's.
if [ -d "$out" ] && [ -n "$(ls -A "$out")" ] && [ ! -f "$out/SHA256SUMS" ]; then
  echo "make-dist: $out holds files of no earlier make dist; give an empty or new folder" >&2
  exit 1
fi
work=$out.tmp
rm -rf "$work" && mkdir -p "$work/files"
umask 022

# The project's licence, and copies of the licences of what the release
# programs link, from this machine's packages (the copyright file names them).
gcc_major=$(g++ -dumpversion | cut -d. -f1)
copy_licenses() {  # DIR linux|windows
  local dir=$1/licenses
  mkdir -p "$dir"
  cp "$top/LICENSE" "$here/copyright" /usr/share/common-licenses/GPL-3 "$dir/"
  if [ "$2" = linux ]; then
    cp /usr/share/common-licenses/LGPL-2.1 "$dir/"
    cp "/usr/share/doc/gcc-$gcc_major-base/copyright" "$dir/gcc-runtime.copyright"
  else
    cp /usr/share/doc/gcc-mingw-w64-base/copyright "$dir/gcc-runtime.copyright"
    cp /usr/share/doc/mingw-w64-common/copyright "$dir/mingw-w64-runtime.copyright"
  fi
}

# Every file and folder below DIR as of SOURCE_DATE_EPOCH, readable by all,
# programs executable.
settle() {
  find "$1" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
  find "$1" -path '*/bin/*' -type f -exec chmod 755 {} +
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# The Linux archive: what make install puts into a prefix, with the static
# packer in place of the one that uses the system's libraries.
linux=onefile-pack-$version-linux-x86_64
cmake --install "$host_build" --prefix "$work/$linux" >/dev/null
cp "$static_pack" "$work/$linux/bin/onefile-pack"
copy_licenses "$work/$linux" linux
settle "$work/$linux"
tar -C "$work" --sort=name --format=gnu --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
  -cf - "$linux" | gzip -9n >"$work/files/$linux.tar.gz"

# The Windows archive: onefile-pack.exe in the same layout, so that the CMake
# package finds it beside itself.
windows=onefile-pack-$version-windows-x86_64
mkdir -p "$work/$windows/bin" "$work/$windows/share/doc/onefile-pack"
cp "$windows_pack" "$work/$windows/bin/"
cp -r "$work/$linux/lib" "$work/$windows/"
cp "$top/docs/guide.md" "$here/copyright" "$work/$windows/share/doc/onefile-pack/"
copy_licenses "$work/$windows" windows
settle "$work/$windows"
(cd "$work" && find "$windows" -type f | sort | zip -q -X -D -9 "files/$windows.zip" -@)

# The Debian package, by CPack from the same build.
cpack -G DEB --config "$host_build/CPackConfig.cmake" -B "$work/cpack" >/dev/null
mv "$work/cpack/onefile-pack_${version}_amd64.deb" "$work/files/"

# The npm packages: one per platform carrying its program, and onefile-pack
# with the bin script and both as optional dependencies of the same version.
npm_package() {  # NAME DIR
  settle "$2"
  (cd "$work/files" && npm pack --silent "$2" >/dev/null)
  [ -f "$work/files/$1-$version.tgz" ] || { echo "make-dist: npm pack wrote no $1-$version.tgz" >&2; exit 1; }
}
platform_package() {  # PLATFORM OS CPU PROGRAM BINARY_NAME
  local dir=$work/npm/$1
  mkdir -p "$dir/bin"
  sed -e "s/@PLATFORM@/$1/g" -e "s/@OS@/$2/g" -e "s/@CPU@/$3/g" -e "s/@BINARY@/$5/g" -e "s/@VERSION@/$version/g" \
    "$here/npm/platform/package.json" >"$dir/package.json"
  cp "$4" "$dir/bin/$5"
  cp "$top/LICENSE" "$here/copyright" "$dir/"
  npm_package "onefile-pack-$1" "$dir"
}
platform_package linux-x64 linux x64 "$static_pack" onefile-pack
platform_package win32-x64 win32 x64 "$windows_pack" onefile-pack.exe
main=$work/npm/onefile-pack
mkdir -p "$main/bin"
sed "s/@VERSION@/$version/g" "$here/npm/onefile-pack/package.json" >"$main/package.json"
cp "$here/npm/onefile-pack/bin/onefile-pack.js" "$main/bin/"
cp "$top/LICENSE" "$here/copyright" "$main/"
npm_package onefile-pack "$main"

(cd "$work/files" && sha256sum -- * >SHA256SUMS)
rm -rf "$out" && mv "$work/files" "$out" && rm -rf "$work"
echo "make-dist: onefile-pack $version in $out:"
(cd "$out" && ls -l --time-style=+ | sed 1d)
