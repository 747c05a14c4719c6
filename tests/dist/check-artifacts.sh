#!/usr/bin/env bash
# Checks the release files make dist wrote, with tools this project did not
# write: sha256sum, tar, unzip, objdump, dpkg-deb, lintian, man, npm.
#
#   check-artifacts.sh DIST_DIR
set -euo pipefail
dist=$(realpath "$1")
export LC_ALL=C.UTF-8
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

deb=$(cd "$dist" && ls onefile-pack_*_amd64.deb)
version=${deb#onefile-pack_}
version=${version%_amd64.deb}
linux=onefile-pack-$version-linux-x86_64
windows=onefile-pack-$version-windows-x86_64
expected="$deb $linux.tar.gz $windows.zip onefile-pack-$version.tgz onefile-pack-linux-x64-$version.tgz
onefile-pack-win32-x64-$version.tgz SHA256SUMS"
[ "$(cd "$dist" && ls | sort)" = "$(tr ' ' '\n' <<<"$expected" | sort)" ] ||
  fail "the folder holds $(cd "$dist" && ls | tr '\n' ' '), not $expected"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
[ "$(wc -l <"$dist/SHA256SUMS")" -eq 6 ] || fail "SHA256SUMS does not cover the six files"

# The Linux archive: one folder, owned by root, one time stamp; the packer
# static (no program interpreter), saying the version.
tar -tvzf "$dist/$linux.tar.gz" --numeric-owner >"$scratch/tar.list"
awk '{print $2}' "$scratch/tar.list" | sort -u | grep -qvx '0/0' && fail "the Linux archive has an owner other than root"
[ "$(awk '{print $4 $5}' "$scratch/tar.list" | sort -u | wc -l)" -eq 1 ] || fail "the Linux archive's time stamps differ"
for path in bin/onefile-pack lib/cmake/onefile/onefileConfig.cmake lib/cmake/onefile/onefileConfigVersion.cmake \
  lib/cmake/onefile/mingw-toolchain.cmake \
  share/man/man1/onefile-pack.1.gz share/doc/onefile-pack/guide.md share/doc/onefile-pack/copyright \
  licenses/LGPL-2.1 licenses/LICENSE; do
  grep -q " $linux/$path\$" "$scratch/tar.list" || fail "the Linux archive lacks $path"
done
tar -xzf "$dist/$linux.tar.gz" -C "$scratch"
packer=$scratch/$linux/bin/onefile-pack
grep -q 'Requesting program interpreter' <<<"$(readelf -l "$packer")" && fail "the Linux archive's onefile-pack is not static"
[ "$("$packer" --version)" = "onefile-pack $version" ] || fail "the Linux archive's onefile-pack does not say $version"

# The Windows archive: onefile-pack.exe, an x86-64 console program, and the
# same documents.
unzip -Z1 "$dist/$windows.zip" >"$scratch/zip.list"
for path in bin/onefile-pack.exe lib/cmake/onefile/onefileConfig.cmake lib/cmake/onefile/mingw-toolchain.cmake \
  share/doc/onefile-pack/guide.md \
  share/doc/onefile-pack/copyright licenses/mingw-w64-runtime.copyright; do
  grep -qx "$windows/$path" "$scratch/zip.list" || fail "the Windows archive lacks $path"
done
unzip -q "$dist/$windows.zip" "$windows/bin/onefile-pack.exe" -d "$scratch"
objdump -p "$scratch/$windows/bin/onefile-pack.exe" >"$scratch/exe.txt"
grep -q 'file format pei-x86-64' "$scratch/exe.txt" || fail "onefile-pack.exe is no x86-64 PE image"
grep -q '^Subsystem.*(Windows CUI)' "$scratch/exe.txt" || fail "onefile-pack.exe is no console program"
grep -q '^Time/Date.*1970' "$scratch/exe.txt" || fail "onefile-pack.exe carries a link time stamp"

# The Debian package: its fields, its files where Debian expects them, a
# changelog of this version, a manual page showing every command and option
# the tool's help shows, and no error from lintian.
fields=$(for field in Package Version Architecture; do dpkg-deb -f "$dist/$deb" "$field"; done | tr '\n' ' ')
[ "$fields" = "onefile-pack $version amd64 " ] || fail "the Debian package's fields are $fields"
grep -q 'libc6' <<<"$(dpkg-deb -f "$dist/$deb" Depends)" || fail "the Debian package depends on no libc6"
dpkg-deb -c "$dist/$deb" | awk '{print $6}' >"$scratch/deb.list"
for path in usr/bin/onefile-pack usr/lib/cmake/onefile/onefileConfig.cmake usr/lib/cmake/onefile/mingw-toolchain.cmake \
  usr/share/man/man1/onefile-pack.1.gz \
  usr/share/doc/onefile-pack/copyright usr/share/doc/onefile-pack/changelog.gz usr/share/doc/onefile-pack/guide.md; do
  grep -qx "./$path" "$scratch/deb.list" || fail "the Debian package lacks /$path"
done
dpkg-deb -x "$dist/$deb" "$scratch/deb"
[[ "$(zcat "$scratch/deb/usr/share/doc/onefile-pack/changelog.gz")" == "onefile-pack ($version) "* ]] ||
  fail "the changelog's first entry is not $version"
page=$scratch/deb/usr/share/man/man1/onefile-pack.1.gz
MANWIDTH=80 man --warnings -l "$page" 2>"$scratch/man.err" >"$scratch/man.txt" || fail "man cannot show the page"
[ -s "$scratch/man.err" ] && fail "man warns about the page: $(head -3 "$scratch/man.err")"
commands=$("$packer" --help | sed -n 's/^  \([a-z]\+\) .*/\1/p' | sort -u)
for command in $commands; do
  grep -q "^   $command\$" "$scratch/man.txt" || fail "the manual page has no section for $command"
  for option in $("$packer" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" "$scratch/man.txt" || fail "the manual page does not show $command $option"
  done
done
if lintian --no-cfg --fail-on error --suppress-tags-from-file /dev/null "$dist/$deb" >"$scratch/lintian.txt"; then
  sed 's/^/lintian: /' "$scratch/lintian.txt"
else
  fail "lintian: $(grep '^E:' "$scratch/lintian.txt" | head -5)"
fi

# The npm packages: the platform packages declare their os and cpu and carry
# an executable program; the main one pins both at its own version and has
# no install script; the bin script runs the program named by
# ONEFILE_PACK_BINARY with the arguments as given and ends with its status.
npm_field() { tar -xOzf "$dist/$1-$version.tgz" package/package.json | node -p "JSON.stringify(JSON.parse(require('fs').readFileSync(0))$2)"; }
for platform in linux-x64:onefile-pack win32-x64:onefile-pack.exe; do
  name=onefile-pack-${platform%%:*} os=${platform%%-*}
  [ "$(npm_field "$name" '.os')$(npm_field "$name" '.cpu')" = "[\"$os\"][\"x64\"]" ] || fail "$name declares the wrong os or cpu"
  grep -q "^-rwxr-xr-x .* package/bin/${platform#*:}\$" <<<"$(tar -tvzf "$dist/$name-$version.tgz")" ||
    fail "$name carries no executable bin/${platform#*:}"
done
[ "$(npm_field onefile-pack '.optionalDependencies')" = \
  "{\"onefile-pack-linux-x64\":\"$version\",\"onefile-pack-win32-x64\":\"$version\"}" ] ||
  fail "onefile-pack's optional dependencies are not pinned to $version"
for name in onefile-pack onefile-pack-linux-x64 onefile-pack-win32-x64; do
  [ "$(npm_field "$name" '.scripts')" = undefined ] || fail "$name has scripts"
done
tar -xzf "$dist/onefile-pack-$version.tgz" -C "$scratch" package/bin/onefile-pack.js
printf '#!/bin/sh\nfor a in "$@"; do printf "[%%s]" "$a"; done\nexit 42\n' >"$scratch/named"
chmod +x "$scratch/named"
set +e
passed=$(ONEFILE_PACK_BINARY=$scratch/named node "$scratch/package/bin/onefile-pack.js" 'two words' '' --x=\$y)
status=$?
set -e
[ "$passed$status" = "[two words][][--x=\$y]42" ] || fail "the bin script passed '$passed', status $status"
# A signal to the bin script reaches the program, and the script ends as the
# program did: with the status it chose, or by the same signal; the program
# is not left running. On Windows (the script told it runs there), where the
# console's own event reaches the program, the script relays nothing and
# waits for the program's end.
printf '#!/bin/sh\necho $$ >"$1"\ntrap "exit 7" TERM\nfor i in $(seq 600); do sleep 0.1; done\n' >"$scratch/traps"
printf '#!/bin/sh\necho $$ >"$1"\nexec sleep 60\n' >"$scratch/sleeps"
printf '#!/bin/sh\necho $$ >"$1"\ntrap "exit 9" INT\nfor i in $(seq 20); do sleep 0.1; done\nexit 5\n' >"$scratch/ends"
printf 'Object.defineProperty(process, "platform", { value: "win32" });\n' >"$scratch/on-windows.js"
chmod +x "$scratch/traps" "$scratch/sleeps" "$scratch/ends"
for run in traps:TERM:7 sleeps:INT:130 sleeps:HUP:129 ends:INT:5:on-windows; do
  IFS=: read -r named signal expected platform <<<"$run"
  rm -f "$scratch/pid"
  NODE_OPTIONS=${platform:+--require=$scratch/$platform.js} \
    ONEFILE_PACK_BINARY=$scratch/$named node "$scratch/package/bin/onefile-pack.js" "$scratch/pid" &
  wrapper=$!
  for _ in $(seq 100); do [ -s "$scratch/pid" ] && break; sleep 0.05; done
  kill -"$signal" "$wrapper"
  set +e
  wait "$wrapper" 2>/dev/null  # no job notice for the signal it ended by
  status=$?
  set -e
  [ "$status" -eq "$expected" ] || fail "the bin script sent SIG$signal ended with $status, not $expected"
  if kill -0 "$(cat "$scratch/pid")" 2>/dev/null; then
    fail "the program of the bin script sent SIG$signal still runs"
    kill -KILL "$(cat "$scratch/pid")"
  fi
done

# The three package files installed into an empty project as the guide
# does, offline: npx runs the Linux program, which packs a folder (onefile-pack.exe
# itself as its main program), and an unknown option's status 2 comes back.
project=$scratch/npm-project
mkdir -p "$project/app" && cp "$scratch/$windows/bin/onefile-pack.exe" "$project/app/"
(cd "$project" && npm init -y >/dev/null &&
  npm install --offline --no-audit --no-fund --silent --save-optional \
    "$dist/onefile-pack-linux-x64-$version.tgz" "$dist/onefile-pack-win32-x64-$version.tgz" &&
  npm install --offline --no-audit --no-fund --silent --save-dev "$dist/onefile-pack-$version.tgz") ||
  fail "npm install failed"
[ "$(cd "$project/node_modules" && ls -d onefile-pack*)" = "$(printf 'onefile-pack\nonefile-pack-linux-x64')" ] ||
  fail "npm installed $(cd "$project/node_modules" && ls -d onefile-pack*), not onefile-pack and the Linux program"
[ "$(cd "$project" && npx --offline onefile-pack --version)" = "onefile-pack $version" ] || fail "npx onefile-pack --version"
(cd "$project" && npx --offline onefile-pack build app --main onefile-pack.exe -o packed.exe -q &&
  grep -q onefile-pack.exe <<<"$(npx --offline onefile-pack list packed.exe)") || fail "npx onefile-pack build failed"
# The same folder gives the same executable whichever file the packer came
# from: the archive's and npm's carry zstd inside them, the package's uses
# the system's libzstd1 (the same version on Debian 12).
"$packer" build "$project/app" --main onefile-pack.exe -o "$scratch/from-archive.exe" -q
"$scratch/deb/usr/bin/onefile-pack" build "$project/app" --main onefile-pack.exe -o "$scratch/from-deb.exe" -q
for made in from-archive.exe from-deb.exe; do
  cmp -s "$project/packed.exe" "$scratch/$made" || fail "$made differs from the executable npm's packer wrote"
done
set +e
(cd "$project" && npx --offline onefile-pack build --no-such-option 2>/dev/null)
status=$?
set -e
[ "$status" -eq 2 ] || fail "npx onefile-pack build --no-such-option ended with $status, not 2"
notices=$("$packer" notices) && [ "$("$scratch/deb/usr/bin/onefile-pack" notices)" = "$notices" ] &&
  [ "$(cd "$project" && npx --offline onefile-pack notices)" = "$notices" ] || fail "onefile-pack notices differs by channel"

if [ "$failures" -ne 0 ]; then
  echo "check-artifacts: $failures failures" >&2
  exit 1
fi
echo "check-artifacts: the release files of onefile-pack $version are as they should be"
