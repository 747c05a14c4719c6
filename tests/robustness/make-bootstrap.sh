#!/usr/bin/env bash
# Builds a bootstrap carrying exactly the bytes of a payload file, damaged or
# not, unpacking into the given template: through `onefile-pack build` where
# the packer builds executables, else through the link script.
#
#   make-bootstrap.sh HOST_BUILD WINDOWS_BUILD PAYLOAD OUT.exe TEMPLATE
set -euo pipefail
host=$1 windows=$2 payload=$3 out=$4 template=$5
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -f "$root/scripts/link-bootstrap.sh" ]; then
  ONEFILE_LINK_CONFIG=$windows/link-config.sh bash "$root/scripts/link-bootstrap.sh" "$payload" "$out" \
    --template "$template"
else
  "$host/tools/onefile-pack/onefile-pack" build --payload "$payload" -o "$out" --unchecked -q --template "$template"
fi
