#!/usr/bin/env bash
# build --sign, with a throw-away CA and code-signing certificates made here
# by openssl: a folder of an unsigned program, unsigned libraries in nested
# folders (one under a name that is not .dll), a library signed elsewhere and
# data files. Then a table of builds: the signed one, the same again, another
# key, and each bad input with its line, its status and no output.
set -euo pipefail
pack=$1 seven_zip=$2 wine_dlls=$3 work=$4
. "$(dirname "$0")/wine-run.sh"
rm -rf "$work" && mkdir -p "$work/app/lib/codecs" "$work/app/plugins/deep"
export SOURCE_DATE_EPOCH=1700000000 PASS=correct-horse

# A CA, and code-signing certificates it issued: name, days valid.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" -days 30 -subj "/CN=Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$work/ext"
certificate() {
  openssl req -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.csr" -subj "/CN=$1" 2>/dev/null
  openssl x509 -req -in "$work/$1.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
    -days "$2" -extfile "$work/ext" -out "$work/$1.pem" 2>/dev/null
  openssl pkcs12 -export -in "$work/$1.pem" -inkey "$work/$1.key" -passout env:PASS -out "$work/$1.p12"
}
certificate Expired 0  # valid up to the second it was made: past once that has gone
sleep 1
certificate Signer 30
certificate Elsewhere 30

cp "$seven_zip" "$work/app/7za.exe"
cp "$wine_dlls/version.dll" "$work/app/lib/codecs/codec.dll"
cp "$wine_dlls/msacm32.dll" "$work/app/plugins/deep/native.node"
osslsigncode sign -certs "$work/Elsewhere.pem" -key "$work/Elsewhere.key" -h sha256 \
  -in "$wine_dlls/winmm.dll" -out "$work/app/lib/signed-elsewhere.dll" >/dev/null
printf 'data beside the program\n' >"$work/app/readme.txt"
printf 'MZ, and no program\n' >"$work/app/lib/not-a-library.dll"
folder_sums() { (cd "$work/app" && find . -type f -exec sha256sum {} + | sort); }
folder_sums >"$work/sums-before"

# build OUTPUT STATUS LINE ARGUMENTS...: the build ends with STATUS, its
# output (standard error included) has LINE, and OUTPUT exists only when it
# succeeded; a failure says nothing else but the template's warning. The
# packer runs with PACK_PATH as its PATH when that is set.
build() {
  local output=$1 expected=$2 line=$3 status=0
  shift 3
  rm -f "$output"
  PATH=${PACK_PATH:-$PATH} "$pack" build "$work/app" --main 7za.exe -o "$output" --level 3 --template "$(winepath -w "$work/cache")" "$@" \
    >"$output.out" 2>&1 || status=$?
  [ "$status" -eq "$expected" ] || fail "${output##*/}: status $status, not $expected: $(cat "$output.out")"
  grep -qF -- "$line" "$output.out" || fail "${output##*/}: no '$line' in: $(cat "$output.out")"
  if [ "$expected" -eq 0 ]; then [ -f "$output" ] || fail "${output##*/}: no output"; return; fi
  [ ! -e "$output" ] || fail "${output##*/}: an output after a failure"
  [ "$(grep -vc 'warning: the path template' "$output.out")" -eq 1 ] || fail "${output##*/}: not one line: $(cat "$output.out")"
}
pkcs12=(--sign-pkcs12 "$work/Signer.p12" --sign-password-env PASS)
build "$work/signed.exe" 0 "signed by Signer: the executable and 3 program or library files inside it; 1 file already signed" \
  "${pkcs12[@]}" --sign-description "Signed test" --sign-url https://example.invalid/
build "$work/again.exe" 0 "signed by Signer" "${pkcs12[@]}" --sign-description "Signed test" \
  --sign-url https://example.invalid/
build "$work/other-key.exe" 0 "signed by Elsewhere" --sign-cert "$work/Elsewhere.pem" --sign-key "$work/Elsewhere.key" \
  --sign-description "Signed test" --sign-url https://example.invalid/
build "$work/expired.exe" 0 "warning: the certificate of Expired expired on" --sign-cert "$work/Expired.pem" \
  --sign-key "$work/Expired.key"
PASS=wrong build "$work/wrong-password.exe" 2 "--sign-password-env: the password in PASS does not open" "${pkcs12[@]}"
build "$work/no-password.exe" 2 "Signer.p12 is protected by a password" --sign-pkcs12 "$work/Signer.p12"
build "$work/other-keys-cert.exe" 2 "--sign-key: ${work}/Elsewhere.key is not the key of the certificate" \
  --sign-cert "$work/Signer.pem" --sign-key "$work/Elsewhere.key"
PACK_PATH=/nonexistent build "$work/no-signer.exe" 2 "signing needs osslsigncode, which is not on PATH" "${pkcs12[@]}"

cmp -s "$work/signed.exe" "$work/again.exe" || fail "two builds with the same SOURCE_DATE_EPOCH differ"
! cmp -s "$work/signed.exe" "$work/other-key.exe" || fail "a build with another key is the same"
folder_sums | diff - "$work/sums-before" >/dev/null || fail "signing changed the application's folder"

trusted() { osslsigncode verify -CAfile "$work/ca.pem" -in "$1" >"$work/verify.out" 2>&1 || fail "$1: $(cat "$work/verify.out")"; }
trusted "$work/signed.exe"
"$pack" extract "$work/signed.exe" "$work/extracted" -q
for file in 7za.exe lib/codecs/codec.dll plugins/deep/native.node lib/signed-elsewhere.dll; do
  trusted "$work/extracted/$file"
done
for file in lib/signed-elsewhere.dll readme.txt lib/not-a-library.dll; do
  cmp -s "$work/app/$file" "$work/extracted/$file" || fail "$file was changed"
done
"$pack" verify --signatures "$work/signed.exe" >"$work/signatures.out" || fail "$(cat "$work/signatures.out")"
for line in '7za.exe: signed by Signer' 'lib\codecs\codec.dll: signed by Signer' \
  'plugins\deep\native.node: signed by Signer' 'lib\signed-elsewhere.dll: signed by Elsewhere' \
  'signed.exe (the executable): signed by Signer' 'the executable and 4 programs and libraries inside, 0 unsigned'; do
  grep -qF -- "$line" "$work/signatures.out" || fail "verify --signatures has no '$line': $(cat "$work/signatures.out")"
done

# A file that looks like a program to this tool but that osslsigncode refuses:
# no room for the security directory.
python3 - "$wine_dlls/version.dll" "$work/app/lib/refused.dll" <<'PY'
import struct, sys
image = bytearray(open(sys.argv[1], 'rb').read())
optional = struct.unpack_from('<I', image, 0x3C)[0] + 24
struct.pack_into('<I', image, optional + 108, 2)
open(sys.argv[2], 'wb').write(image)
PY
build "$work/refused.exe" 1 "refused.dll: osslsigncode refuses to sign it: " "${pkcs12[@]}"
rm "$work/app/lib/refused.dll"

# A program carrying data after its image, as a self-extractor does: left as
# it is, with one warning line naming it, and listed as unsigned.
{ cat "$wine_dlls/version.dll"; printf 'archive appended to the program'; } >"$work/app/lib/self-extracting.exe"
build "$work/trailing.exe" 0 "1 file left unsigned (data after the image)" "${pkcs12[@]}"
[ "$(grep -c 'warning: .*self-extracting.exe is left unsigned: it carries data after its image' \
  "$work/trailing.exe.out")" -eq 1 ] || fail "no one warning naming the file: $(cat "$work/trailing.exe.out")"
status=0 && "$pack" verify --signatures "$work/trailing.exe" >"$work/trailing.out" || status=$?
[ "$status" -eq 1 ] && grep -qF 'lib\self-extracting.exe: unsigned' "$work/trailing.out" &&
  grep -qF 'the executable and 5 programs and libraries inside, 1 unsigned' "$work/trailing.out" ||
  fail "verify --signatures ended with $status: $(cat "$work/trailing.out")"
"$pack" extract "$work/trailing.exe" "$work/trailing" -q
cmp -s "$work/app/lib/self-extracting.exe" "$work/trailing/lib/self-extracting.exe" || fail "self-extracting.exe was changed"
rm "$work/app/lib/self-extracting.exe"

# The signed executable starts its program, and a second start writes nothing.
cache_state() { find "$work/cache" -printf '%P %s %T@ %i\n' | sort; }
wine_run "$work/run.out" "$work/signed.exe" t "$(winepath -w "$work/missing.7z")"
[ "$status" -eq 2 ] || fail "the signed executable ended with $status, not 7-Zip's 2"
cmp -s "$work/extracted/7za.exe" "$work/cache/7za.exe" || fail "the cache does not hold the signed program"
cache_state >"$work/cache-cold"
wine_run "$work/run.out" "$work/signed.exe" t "$(winepath -w "$work/missing.7z")"
[ "$status" -eq 2 ] || fail "the warm start ended with $status, not 7-Zip's 2"
cache_state | diff - "$work/cache-cold" >/dev/null || fail "the warm start wrote into the cache"
echo ok
