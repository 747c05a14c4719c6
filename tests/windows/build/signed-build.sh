#!/usr/bin/env bash
# build --sign, with a throw-away CA and code-signing certificates made here
# by openssl: a folder of an unsigned program, unsigned libraries in nested
# folders (one under a name that is not .dll), a library signed elsewhere and
# data files. Then a table of builds: the signed one, the same again, another
# key, a key on a SoftHSM2 token made here, a publisher's signing command,
# and each bad input with its line, its status and no output.
set -euo pipefail
pack=$1 seven_zip=$2 wine_dlls=$3 work=$4
. "$(dirname "$0")/wine-run.sh"
rm -rf "$work" && mkdir -p "$work/app/lib/codecs" "$work/app/plugins/deep" "$work/tmp" "$work/bin"
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
certificate Token 30

# A token of this test's own: SoftHSM2 with its tokens in the work folder,
# holding Token's key.
export SOFTHSM2_CONF=$work/softhsm2.conf PIN=token-pin-8642
mkdir -p "$work/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$work/tokens" >"$SOFTHSM2_CONF"
softhsm2-util --init-token --free --label onefile-test --pin "$PIN" --so-pin so-pin-1357 >/dev/null
openssl pkcs8 -topk8 -nocrypt -in "$work/Token.key" -out "$work/Token.p8"
softhsm2-util --import "$work/Token.p8" --token onefile-test --label signer --id 01 --pin "$PIN" >/dev/null
module=$(dpkg -L libsofthsm2 | grep -m1 '/libsofthsm2\.so$')
token_key='pkcs11:token=onefile-test;object=signer;type=private'
# The signing program as the packer finds it on PATH: a stand-in that logs
# its arguments and runs the real one.
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\nexec %s "$@"\n' "$work/signer-arguments" "$(command -v osslsigncode)" \
  >"$work/bin/osslsigncode"
chmod +x "$work/bin/osslsigncode"

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
# packer runs with PACK_PATH as its PATH when that is set, and its private
# folder in tmp.
build() {
  local output=$1 expected=$2 line=$3 status=0
  shift 3
  rm -f "$output"
  TMPDIR=$work/tmp PATH=${PACK_PATH:-$PATH} "$pack" build "$work/app" --main 7za.exe -o "$output" --level 3 --template "$(winepath -w "$work/cache")" "$@" \
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
token=(--sign-pkcs11-module "$module" --sign-key "$token_key" --sign-cert "$work/Token.pem" --sign-password-env PIN)
export PACK_PATH=$work/bin:$PATH
build "$work/token.exe" 0 \
  "signed by Token: the executable and 3 program or library files inside it; 1 file already signed" "${token[@]}"
build "$work/token-again.exe" 0 "signed by Token" "${token[@]}"
PIN=wrong-pin-9753 build "$work/wrong-pin.exe" 2 \
  "--sign-password-env: the PIN in PIN does not open the token of $token_key (tried once;" "${token[@]}"
unset PACK_PATH
grep -qF -- "-pkcs11module $module" "$work/signer-arguments" || fail "the token was not used: $(cat "$work/signer-arguments")"
! grep -rqF -e "$PIN" -e wrong-pin-9753 "$work/signer-arguments" "$work"/*.out || fail "the PIN was on a command line or shown"
cmp -s "$work/token.exe" "$work/token-again.exe" || fail "two builds with a token and the same SOURCE_DATE_EPOCH differ"

# A publisher's signing command: a script around osslsigncode that signs
# the file it is given in place and logs its arguments' count and the file.
# A file of the folder whose name a shell would take for more than a name
# must reach it as one argument, and run nothing.
cat >"$work/publisher-sign.sh" <<SCRIPT
#!/bin/sh
printf '%s|%s\\n' "\$#" "\$1" >>"\$2"
osslsigncode sign -certs "$work/Signer.pem" -key "$work/Signer.key" -h sha256 -time $SOURCE_DATE_EPOCH \\
  -in "\$1" -out "\$1.signed" >/dev/null && mv "\$1.signed" "\$1"
SCRIPT
printf '#!/bin/sh\necho "signed, it says"\n' >"$work/no-signing.sh"
printf '#!/bin/sh\necho "connecting"\necho "Signing service: quota used up" >&2\nexit 4\n' >"$work/failing-sign.sh"
# Changes a byte of each library's code, then signs it.
printf '#!/bin/sh\ncase $1 in *.dll) printf x | dd of="$1" bs=1 seek=1024 conv=notrunc 2>/dev/null;; esac\nexec "%s" "$1" /dev/null\n' \
  "$work/publisher-sign.sh" >"$work/tampering-sign.sh"
chmod +x "$work"/*.sh
hostile="it's a \$HOME; touch pwned.dll"
cp "$wine_dlls/version.dll" "$work/app/lib/$hostile"
build "$work/command.exe" 0 \
  "signed by Signer: the executable and 4 program or library files inside it; 1 file already signed" \
  --sign-command "$work/publisher-sign.sh {file} '$work/command log'"
[ "$(grep -c '' "$work/command log")" -eq 6 ] && ! grep -qv '^2|' "$work/command log" &&
  grep -qF -- "-$hostile" "$work/command log" || fail "the command's arguments: $(cat "$work/command log")"
[ ! -e pwned.dll ] && [ ! -e "$work/pwned.dll" ] || fail "a file's name ran as a command"
build "$work/no-signing.exe" 2 "--sign-command: signing the bootstrap first: $work/no-signing.sh returned it without a signature" \
  --sign-command "$work/no-signing.sh"
build "$work/failing.exe" 2 \
  "--sign-command: signing the bootstrap first: $work/failing-sign.sh ended with status 4: Signing service: quota used up" \
  --sign-command "$work/failing-sign.sh"
build "$work/tampering.exe" 1 "tampering-sign.sh changed the program, not only added a signature (at offset 0x400): refused" \
  --sign-command "$work/tampering-sign.sh"
rm "$work/app/lib/$hostile"

cmp -s "$work/signed.exe" "$work/again.exe" || fail "two builds with the same SOURCE_DATE_EPOCH differ"
! cmp -s "$work/signed.exe" "$work/other-key.exe" || fail "a build with another key is the same"
folder_sums | diff - "$work/sums-before" >/dev/null || fail "signing changed the application's folder"

trusted() { osslsigncode verify -CAfile "$work/ca.pem" -in "$1" >"$work/verify.out" 2>&1 || fail "$1: $(cat "$work/verify.out")"; }
for build in signed token command; do
  trusted "$work/$build.exe"
  "$pack" extract "$work/$build.exe" "$work/$build-files" -q
  for file in 7za.exe lib/codecs/codec.dll plugins/deep/native.node lib/signed-elsewhere.dll; do
    trusted "$work/$build-files/$file"
  done
done
trusted "$work/command-files/lib/$hostile"
mv "$work/signed-files" "$work/extracted"
for file in lib/signed-elsewhere.dll readme.txt lib/not-a-library.dll; do
  cmp -s "$work/app/$file" "$work/extracted/$file" || fail "$file was changed"
done
"$pack" verify --signatures "$work/signed.exe" >"$work/signatures.out" || fail "$(cat "$work/signatures.out")"
for line in '7za.exe: signed by Signer' 'lib\codecs\codec.dll: signed by Signer' \
  'plugins\deep\native.node: signed by Signer' 'lib\signed-elsewhere.dll: signed by Elsewhere' \
  'signed.exe (the executable): signed by Signer' 'the executable and 4 programs and libraries inside, 0 unsigned'; do
  grep -qF -- "$line" "$work/signatures.out" || fail "verify --signatures has no '$line': $(cat "$work/signatures.out")"
done
"$pack" verify --signatures "$work/token.exe" >"$work/signatures.out" || fail "$(cat "$work/signatures.out")"
grep -qF '7za.exe: signed by Token' "$work/signatures.out" || fail "verify --signatures: $(cat "$work/signatures.out")"
"$pack" info "$work/command.exe" | grep -q 'signature: *signed by Signer$' || fail "info shows no signer of the command's signature"

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

# Every build, failed ones too, removed its private folder.
[ -z "$(ls -A "$work/tmp")" ] || fail "left in the temporary folder: $(ls -AR "$work/tmp")"

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
