#!/usr/bin/env bash
# A built executable signed with Authenticode (osslsigncode, a throw-away
# certificate made here): the signature verifies, the signed file still runs
# and unpacks, and onefile-pack list, verify and extract still read it.
set -euo pipefail
pack=$1 seven_zip=$2 work=$3
. "$(dirname "$0")/wine-run.sh"
rm -rf "$work" && mkdir -p "$work/app"
cp "$seven_zip" "$work/app/7za.exe"
printf 'data beside the program\n' >"$work/app/readme.txt"
mkdir -p "$work/app/notes ü/𝄞 deeper"
printf 'outside the BMP\n' >"$work/app/notes ü/𝄞 deeper/мир-🙂.txt"
: >"$work/app/notes ü/empty"

"$pack" build "$work/app" --main 7za.exe -o "$work/unsigned.exe" -q --level 3 \
  --template "$(winepath -w "$work/cache")"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=onefile throw-away test certificate" 2>/dev/null
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 -n "Signed test" \
  -in "$work/unsigned.exe" -out "$work/signed.exe" >"$work/sign.out"
osslsigncode verify -in "$work/signed.exe" -CAfile "$work/cert.pem" >"$work/verify.out" 2>&1 ||
  fail "the signature does not verify: $(cat "$work/verify.out")"
grep -q 'invalid PE checksum' "$work/verify.out" && fail "the signed file's checksum is wrong"
[ "$(stat -c %s "$work/signed.exe")" -gt "$(stat -c %s "$work/unsigned.exe")" ] || fail "nothing was signed"

wine_run "$work/run.out" "$work/signed.exe" t "$(winepath -w "$work/missing.7z")"
[ "$status" -eq 2 ] || fail "the signed executable ended with $status, not 7-Zip's 2"
cmp -s "$seven_zip" "$work/cache/7za.exe" || fail "the signed executable did not unpack its program"

"$pack" list "$work/signed.exe" >"$work/list.out" || fail "list cannot read the signed file"
grep -q ' 7za.exe$' "$work/list.out" && grep -q ' readme.txt$' "$work/list.out" || fail "list: $(cat "$work/list.out")"
"$pack" verify "$work/signed.exe" "$work/cache" >"$work/verify-cache.out" ||
  fail "verify of the unpacked cache failed: $(cat "$work/verify-cache.out")"
"$pack" extract "$work/signed.exe" "$work/extracted" >"$work/extract.out" ||
  fail "extract cannot read the signed file: $(cat "$work/extract.out")"
diff -r "$work/app" "$work/extracted" >/dev/null || fail "the folder extracted from the signed file differs"
"$pack" verify "$work/signed.exe" "$work/extracted" >/dev/null || fail "verify of the extracted folder failed"
echo ok
