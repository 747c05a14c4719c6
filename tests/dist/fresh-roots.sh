#!/usr/bin/env bash
# The release files on Debian machines that never saw this project, made by
# debootstrap from Debian's mirror (run as root, with the network):
#
#   a fresh Debian 12 root: the guide's release blocks as written (the
#     SHA256SUMS check, apt install of the Debian package, the CI jobs that
#     install the Debian package and the npm packages, each packing the
#     guide's MyApp to the bytes this checkout's onefile-pack gives), then
#     onefile-pack build of the demo application, an unknown option's status
#     through npx, and a small CMake project whose find_package(onefile)
#     packs the same folder;
#   a fresh root of the oldest Debian release the mirror still serves: the
#     Linux archive unpacked, and the same build.
#
# Each executable made inside a root starts under this machine's Wine and
# must show the demo's output and end with its status, 7; the demo's
# executables must all be the same bytes. The downloaded packages are kept
# (CACHE_DIR/*.tar.gz), the roots are made anew each run.
#
#   fresh-roots.sh DIST_DIR DEMO_APP_DIR ONEFILE_PACK CACHE_DIR WINE_PREFIX
set -euo pipefail
dist=$(realpath "$1") demo_app=$(realpath "$2") pack=$(realpath "$3") cache=$4 prefix=$(realpath "$5")
guide=$(cd "$(dirname "$0")/../.." && pwd)/docs/guide.md
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
current=bookworm
# The oldest release first: the first the mirror serves is the one taken.
older=(buster bullseye)
export WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=C.UTF-8
[ "$(id -u)" -eq 0 ] || { echo "fresh-roots: debootstrap and chroot need root" >&2; exit 1; }
mkdir -p "$cache" && cache=$(realpath "$cache")

deb=$(cd "$dist" && ls onefile-pack_*_amd64.deb)
tarball=$(cd "$dist" && ls onefile-pack-*-linux-x86_64.tar.gz)
roots=$cache/roots
# Every file system mounted below DIR (a root's /proc, or what an interrupted
# debootstrap left), deepest first: a root is never removed across a mount.
unmount_below() {  # DIR
  local mounts
  mounts=$(findmnt -rn -o TARGET | grep -F "$1/" | sort -r || true)
  while read -r point; do [ -z "$point" ] || umount "$point" || true; done <<<"$mounts"
  if findmnt -rn -o TARGET | grep -qF "$1/"; then
    echo "fresh-roots: file systems stay mounted below $1; unmount them first" >&2
    exit 1
  fi
}
trap 'unmount_below "$roots"' EXIT

# A fresh root of RELEASE with the packages INCLUDE (comma-separated) in DIR,
# from a cached download of them.
fresh_root() {  # RELEASE INCLUDE DIR
  local release=$1 include=$2 root=$3
  local packages=$cache/$release${include:+-${include//,/-}}.tar.gz
  if [ ! -f "$packages" ]; then
    echo "fresh-roots: downloading Debian $release ($mirror)"
    rm -rf "$cache/download"
    debootstrap --variant=minbase ${include:+--include=$include} --make-tarball="$packages.tmp" \
      "$release" "$cache/download" "$mirror" >"$cache/$release.log" 2>&1
    mv "$packages.tmp" "$packages" && rm -rf "$cache/download"
  fi
  echo "fresh-roots: a fresh Debian $release root"
  unmount_below "$root"
  rm -rf --one-file-system "$root"
  debootstrap --variant=minbase ${include:+--include=$include} --unpack-tarball="$packages" \
    "$release" "$root" "$mirror" >"$cache/$release.log" 2>&1
  mount -t proc proc "$root/proc"
  mount -t devpts devpts "$root/dev/pts"
  echo "127.0.1.1 $(hostname)" >>"$root/etc/hosts"
  cp -r "$demo_app" "$root/root/demo-app"
}

in_root() {  # ROOT COMMAND...
  local root=$1
  shift
  chroot "$root" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root \
    DEBIAN_FRONTEND=noninteractive /bin/sh -c "cd /root && $*"
}

# The demo's output and status from an executable under Wine.
check_start() {  # EXE WHAT
  local output status
  set +e
  output=$(wine "$1" "hello world" second </dev/null 2>&1 | tr -d '\r')
  status=${PIPESTATUS[0]}
  set -e
  if [ "$status" -ne 7 ] || ! grep -q 'hello world' <<<"$output" || ! grep -q 'read from data' <<<"$output"; then
    echo "$output" >&2
    echo "fresh-roots: FAIL: $2 ended with $status or without the demo's output" >&2
    exit 1
  fi
  echo "fresh-roots: $2 starts under Wine: status $status, the demo's output"
}

wine cmd /c exit </dev/null >/dev/null 2>&1 || true

# Debian 12: the Debian package, then find_package(onefile).
root=$roots/$current
fresh_root "$current" cmake,make,sudo "$root"
in_root "$root" "! command -v onefile-pack"
# npm as a Node project's machine has it (debootstrap cannot resolve its
# dependencies; apt can).
in_root "$root" "apt-get update -q >/dev/null && apt-get install -y -q --no-install-recommends npm >/dev/null"
release_dir=$root/root/release
mkdir -p "$release_dir" && cp "$dist"/* "$release_dir/"
cp -r "$demo_app" "$release_dir/MyApp" && mv "$release_dir/MyApp/demo.exe" "$release_dir/MyApp/MyApp.exe"
"$pack" build "$release_dir/MyApp" --main MyApp.exe -o "$release_dir/MyApp-onefile.exe" --name MyApp --version 1.0.0 -q
python3 "$(dirname "$0")/../guide/guide-script.py" --release "$guide" >"$release_dir/guide-release.sh"
in_root "$root" "cd release && bash guide-release.sh" 2>&1 | grep -v '^\(Get\|Selecting\|Preparing\|Unpacking\|Setting\|Reading\|Building\)'
check_start "$release_dir/MyApp-npm.exe" "Debian 12, the guide's release steps: npx onefile-pack build's executable"
set +e
in_root "$root" "cd release && npx onefile-pack build --no-such-option"
status=$?
set -e
[ "$status" -eq 2 ] || { echo "fresh-roots: FAIL: npx passed status $status for an unknown option, not 2" >&2; exit 1; }
echo "fresh-roots: an unknown option's status 2 comes back through npx"
in_root "$root" "onefile-pack --version && onefile-pack build demo-app --main demo.exe -o Demo.exe --name Demo -q"
check_start "$root/root/Demo.exe" "Debian 12, apt install ./$deb: onefile-pack build's executable"
mkdir -p "$root/root/hello"
cat >"$root/root/hello/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.20)
project(hello NONE)
find_package(onefile 0.1 REQUIRED)
onefile_add_executable(demo-onefile APP_DIR /root/demo-app MAIN demo.exe NAME Demo)
EOF
in_root "$root" "cmake -S hello -B hello/build >/dev/null && cmake --build hello/build"
check_start "$root/root/hello/build/Demo.exe" "Debian 12, find_package(onefile)'s executable"
cmp "$root/root/Demo.exe" "$root/root/hello/build/Demo.exe"
unmount_below "$root"

# The oldest release the mirror serves: the Linux archive.
for release in "${older[@]}"; do
  curl -fsI "$mirror/dists/$release/Release" >/dev/null && break
done
root=$roots/$release
fresh_root "$release" "" "$root"
mkdir -p "$root/opt" && tar -xzf "$dist/$tarball" -C "$root/opt"
in_root "$root" "echo \"Debian \$(cat /etc/debian_version), \$(ldd --version | head -1)\""
in_root "$root" "/opt/${tarball%.tar.gz}/bin/onefile-pack build demo-app --main demo.exe -o Demo.exe --name Demo -q"
check_start "$root/root/Demo.exe" "Debian $release, the Linux archive's onefile-pack build's executable"
cmp "$root/root/Demo.exe" "$roots/$current/root/Demo.exe"
echo "fresh-roots: the three executables are the same bytes"
