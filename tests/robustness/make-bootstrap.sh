#!/usr/bin/env bash
# Builds a bootstrap carrying exactly the bytes of a payload file, damaged or
# not (unchecked), unpacking into the given template.
#
#   make-bootstrap.sh HOST_BUILD PAYLOAD OUT.exe TEMPLATE
set -euo pipefail
host=$1 payload=$2 out=$3 template=$4
"$host/tools/onefile-pack/onefile-pack" build --payload "$payload" -o "$out" --unchecked -q --template "$template"
