#!/usr/bin/env bash
# The npm packages both ways the guide installs them. A registry (verdaccio,
# installed into CACHE_DIR from npm's registry at a fixed version) serves on
# 127.0.0.1 with no upstream. While it holds none of the packages, the
# guide's two commands install them from the release files; without the
# Linux package the script names it and the command that installs it from
# its file, which, run as shown, mends it. Then the three packages are
# published, and in a new project `npm install --save-dev onefile-pack` must
# install onefile-pack and the Linux package only. Both projects'
# `npx onefile-pack build` must pack the demo application to the same bytes
# as the Linux archive's packer. The registry is stopped at the end.
#
#   npm-registry.sh DIST_DIR DEMO_APP_DIR CACHE_DIR
set -euo pipefail
dist=$(realpath "$1") demo_app=$(realpath "$2") cache=$3
verdaccio_version=5.33.0
mkdir -p "$cache" && cache=$(realpath "$cache")
fail() { echo "npm-registry: FAIL: $*" >&2; exit 1; }

server=$cache/verdaccio
if [ "$(node -p "require('$server/node_modules/verdaccio/package.json').version" 2>/dev/null)" != "$verdaccio_version" ]; then
  echo "npm-registry: installing verdaccio $verdaccio_version"
  rm -rf "$server" && mkdir -p "$server"
  npm install --prefix "$server" --no-audit --no-fund --silent "verdaccio@$verdaccio_version" >/dev/null
fi

work=$cache/run
rm -rf "$work" && mkdir -p "$work/storage"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
registry=http://127.0.0.1:$port/
cat >"$work/config.yaml" <<CONFIG
storage: $work/storage
auth:
  htpasswd:
    file: $work/htpasswd
uplinks: {}
packages:
  '**':
    access: \$all
    publish: \$authenticated
log: { type: stdout, format: pretty, level: warn }
CONFIG
node "$server/node_modules/verdaccio/bin/verdaccio" --config "$work/config.yaml" --listen "127.0.0.1:$port" \
  >"$work/verdaccio.log" 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  curl -fs "${registry}-/ping" >/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || fail "verdaccio ended: $(tail -5 "$work/verdaccio.log")"
  sleep 0.2
done
echo "npm-registry: verdaccio $verdaccio_version on $registry"

# A user for publishing, then the three packages, the platforms' first.
token=$(curl -fs -X PUT -H 'Content-Type: application/json' "${registry}-/user/org.couchdb.user:release" \
  -d '{"name": "release", "password": "release-check"}' | node -p 'JSON.parse(require("fs").readFileSync(0)).token')
printf 'registry=%s\n//127.0.0.1:%s/:_authToken=%s\n' "$registry" "$port" "$token" >"$work/npmrc"
export npm_config_userconfig=$work/npmrc npm_config_cache=$work/npm-cache npm_config_audit=false npm_config_fund=false
version=$(cd "$dist" && ls onefile-pack-linux-x64-*.tgz | sed 's/^onefile-pack-linux-x64-\(.*\)\.tgz$/\1/')
tar -xzf "$dist"/onefile-pack-"$version"-linux-x86_64.tar.gz -C "$work"
archive_pack=$work/onefile-pack-$version-linux-x86_64/bin/onefile-pack
"$archive_pack" build "$demo_app" --main demo.exe -o "$work/Demo-archive.exe" --name Demo -q
installed_packages() { (cd node_modules && ls -d onefile-pack* | tr '\n' ' '); }
packs_as_archive() {  # ROUTE
  npx --no onefile-pack build "$demo_app" --main demo.exe -o Demo-npm.exe --name Demo -q
  cmp Demo-npm.exe "$work/Demo-archive.exe" || fail "$1: npx onefile-pack build and the Linux archive's packer give different bytes"
  echo "npm-registry: $1: npx onefile-pack build packs the demo application to the Linux archive's bytes"
}

files_project=$work/files-project
mkdir -p "$files_project" && cp "$dist"/onefile-pack*-"$version".tgz "$files_project/"
cd "$files_project"
npm init -y >/dev/null
npm install --silent --save-optional ./onefile-pack-linux-x64-"$version".tgz ./onefile-pack-win32-x64-"$version".tgz &&
  npm install --silent --save-dev ./onefile-pack-"$version".tgz || fail "npm install from the release files"
[ "$(installed_packages)" = "onefile-pack onefile-pack-linux-x64 " ] ||
  fail "from the release files npm installed $(installed_packages), not onefile-pack and onefile-pack-linux-x64"
[ "$(npm pkg get devDependencies.onefile-pack)" = "\"file:onefile-pack-$version.tgz\"" ] ||
  fail "onefile-pack from its file is no development dependency"
echo "npm-registry: from the release files, the guide's commands installed $(installed_packages)"
packs_as_archive "from the release files"
# The script's file alone, as one who misses the guide's first command has it.
alone_project=$work/alone-project
mkdir -p "$alone_project" && cp "$dist"/onefile-pack*-"$version".tgz "$alone_project/"
cd "$alone_project"
npm init -y >/dev/null
npm install --silent --save-dev ./onefile-pack-"$version".tgz || fail "npm install of onefile-pack-$version.tgz alone"
[ "$(installed_packages)" = "onefile-pack " ] || fail "npm installed $(installed_packages) from onefile-pack-$version.tgz alone"
set +e
missing=$(npm exec --no -- onefile-pack --version 2>&1)
status=$?
set -e
[ "$status" -eq 1 ] && grep -q "^onefile-pack: onefile-pack-linux-x64@$version, the package that holds the program for linux-x64, is not installed$" <<<"$missing" ||
  fail "without its Linux package the script ended with $status and said: $missing"
shown=$(sed -n 's/^onefile-pack: install it from its release file with \(npm install [^ ]* [^ ]*\) (or .*$/\1/p' <<<"$missing")
[ -n "$shown" ] || fail "the script shows no command that installs the package from its file: $missing"
$shown --silent || fail "$shown, as the script showed it"
[ "$(npm exec --no -- onefile-pack --version)" = "onefile-pack $version" ] || fail "the package the script's command installed does not run"
echo "npm-registry: without its Linux package the script named it, and its command ($shown) put it back"

for name in onefile-pack-linux-x64 onefile-pack-win32-x64 onefile-pack; do
  npm publish --silent "$dist/$name-$version.tgz" || fail "npm publish $name-$version.tgz"
done
echo "npm-registry: published onefile-pack, onefile-pack-linux-x64 and onefile-pack-win32-x64 $version"

project=$work/project
mkdir -p "$project" && cd "$project"
npm init -y >/dev/null
npm install --save-dev --silent onefile-pack || fail "npm install --save-dev onefile-pack"
[ "$(installed_packages)" = "onefile-pack onefile-pack-linux-x64 " ] ||
  fail "from the registry npm installed $(installed_packages), not onefile-pack and onefile-pack-linux-x64"
[ "$(npm pkg get devDependencies.onefile-pack)" = "\"^$version\"" ] || fail "onefile-pack is no development dependency"
echo "npm-registry: from the registry, npm install --save-dev onefile-pack installed $(installed_packages)"
packs_as_archive "from the registry"
