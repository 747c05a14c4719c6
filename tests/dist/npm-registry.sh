#!/usr/bin/env bash
# The npm packages as users will take them once they are published: a
# registry (verdaccio, installed into CACHE_DIR from npm's registry at a fixed
# version) serves on 127.0.0.1 with no upstream, and the three packages are
# published to it. In a new project, `npm install --save-dev onefile-pack`
# must then install onefile-pack and the Linux package only, and
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
export npm_config_userconfig=$work/npmrc npm_config_cache=$work/npm-cache
version=$(cd "$dist" && ls onefile-pack-linux-x64-*.tgz | sed 's/^onefile-pack-linux-x64-\(.*\)\.tgz$/\1/')
for name in onefile-pack-linux-x64 onefile-pack-win32-x64 onefile-pack; do
  npm publish --silent "$dist/$name-$version.tgz" || fail "npm publish $name-$version.tgz"
done
echo "npm-registry: published onefile-pack, onefile-pack-linux-x64 and onefile-pack-win32-x64 $version"

project=$work/project
mkdir -p "$project" && cp -r "$demo_app" "$project/demo-app"
cd "$project"
npm init -y >/dev/null
npm install --save-dev --no-audit --no-fund --silent onefile-pack || fail "npm install --save-dev onefile-pack"
installed=$(cd node_modules && ls -d onefile-pack*)
[ "$installed" = "$(printf 'onefile-pack\nonefile-pack-linux-x64')" ] ||
  fail "npm installed $(echo $installed), not onefile-pack and onefile-pack-linux-x64"
[ "$(npm pkg get devDependencies.onefile-pack)" = "\"^$version\"" ] || fail "onefile-pack is no development dependency"
echo "npm-registry: npm install --save-dev onefile-pack installed $(echo $installed)"

npx --no onefile-pack build demo-app --main demo.exe -o Demo-npm.exe --name Demo -q
tar -xzf "$dist"/onefile-pack-"$version"-linux-x86_64.tar.gz -C "$work"
"$work/onefile-pack-$version-linux-x86_64/bin/onefile-pack" build demo-app --main demo.exe -o Demo-archive.exe --name Demo -q
cmp Demo-npm.exe Demo-archive.exe || fail "npx onefile-pack build and the Linux archive's packer give different bytes"
echo "npm-registry: npx onefile-pack build packs the demo application to the Linux archive's bytes ($(stat -c %s Demo-npm.exe) bytes)"
