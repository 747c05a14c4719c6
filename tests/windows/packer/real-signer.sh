#!/usr/bin/env bash
# onefile-pack.exe build --sign with osslsigncode's own Windows build (made
# by scripts/windows-signer.sh) and a password-protected PKCS#12: the
# executable and the unsigned library inside are signed as the native
# osslsigncode verifies, a wrong password gets its own line, and nothing is
# left in %TEMP%, the password's file included. Then the same build through
# --sign-command with a publisher's batch file around that osslsigncode.exe
# (a library whose name cmd would act on among the files), and
# --sign-pkcs11-module refused in one line, as that build has no PKCS#11.
#
#   real-signer.sh WINDOWS_PACK LINUX_PACK WINDOWS_SIGNER WORK_DIR
set -euo pipefail
windows_pack=$1 pack=$2 signer=$3 work=$4
wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
export WINEDEBUG=-all PASS=correct-horse
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work/app/lib" "$work/bin" "$work/temp"
cp "$signer" "$work/bin/osslsigncode.exe"
cp "$wine_dlls/notepad.exe" "$work/app/main.exe" && cp "$wine_dlls/version.dll" "$work/app/lib/codec.dll"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" -days 30 -subj "/CN=Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$work/ext"
openssl req -newkey rsa:2048 -nodes -keyout "$work/signer.key" -out "$work/signer.csr" -subj "/CN=Signer" 2>/dev/null
openssl x509 -req -in "$work/signer.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial -days 30 \
  -extfile "$work/ext" -out "$work/signer.pem" 2>/dev/null
openssl pkcs12 -export -in "$work/signer.pem" -inkey "$work/signer.key" -passout env:PASS -out "$work/signer.p12"

w() { winepath -w "$work/$1"; }
# OUTPUT [OPTIONS]: the build, with its %TEMP% in temp and the Windows
# osslsigncode on PATH, from a batch file, so that quoted options reach it
# as written.
pack() {
  local output=$1 options=${2:-"--sign-pkcs12 $(w signer.p12) --sign-password-env PASS"}
  printf '@set TEMP=%s\r\n@set TMP=%s\r\n@%s build %s --main main.exe -o %s -q %s\r\n' "$(w temp)" "$(w temp)" \
    "$(winepath -w "$windows_pack")" "$(w app)" "$(w "$output")" "$options" >"$work/pack.bat"
  WINEPATH=$(w bin) wine cmd /c "$(w pack.bat)" </dev/null >"$work/$output.out" 2>&1
}
pack signed.exe || fail "the signing build failed: $(cat "$work/signed.exe.out")"
osslsigncode verify -CAfile "$work/ca.pem" -in "$work/signed.exe" >"$work/verify.out" 2>&1 ||
  fail "signed.exe: $(cat "$work/verify.out")"
"$pack" extract "$work/signed.exe" "$work/extracted" -q
for file in main.exe lib/codec.dll; do
  osslsigncode verify -CAfile "$work/ca.pem" -in "$work/extracted/$file" >"$work/verify.out" 2>&1 ||
    fail "$file: $(cat "$work/verify.out")"
done
PASS=wrong pack wrong.exe && fail "a wrong password signed"
grep -qF -- "--sign-password-env: the password in PASS does not open" "$work/wrong.exe.out" ||
  fail "a wrong password said: $(cat "$work/wrong.exe.out")"

# The publisher's batch file signs the file it is given in place. (Wine's
# cmd leaves a batch file at "a || exit /b 3" even when a succeeds.)
printf '@echo off\r\nosslsigncode.exe sign -certs %s -key %s -h sha256 -in "%%~1" -out "%%~1.signed" >nul\r\nif errorlevel 1 exit /b 3\r\nmove /y "%%~1.signed" "%%~1" >nul\r\n' \
  "$(w signer.pem)" "$(w signer.key)" >"$work/sign.bat"
hostile="it's a %OS%; & mkdir pwned.dll"
cp "$wine_dlls/version.dll" "$work/app/lib/$hostile"
pack command.exe "--sign-command \"$(w sign.bat) {file}\"" || fail "the command's build failed: $(cat "$work/command.exe.out")"
osslsigncode verify -CAfile "$work/ca.pem" -in "$work/command.exe" >"$work/verify.out" 2>&1 ||
  fail "command.exe: $(cat "$work/verify.out")"
"$pack" extract "$work/command.exe" "$work/command-files" -q
for file in main.exe lib/codec.dll "lib/$hostile"; do
  osslsigncode verify -CAfile "$work/ca.pem" -in "$work/command-files/$file" >"$work/verify.out" 2>&1 ||
    fail "$file: $(cat "$work/verify.out")"
done
[ -z "$(find "$work" "$PWD" -maxdepth 1 -name pwned.dll)" ] || fail "a file's name ran as a command"
rm "$work/app/lib/$hostile"
pack token.exe "--sign-pkcs11-module $(w app/lib/codec.dll) --sign-key \"pkcs11:token=t;object=k\" --sign-cert $(w signer.pem)" &&
  fail "a signing program without PKCS#11 signed with a token"
grep -qF -- "--sign-pkcs11-module: $(w bin)\osslsigncode.exe was built without PKCS#11 support" "$work/token.exe.out" &&
  [ "$(grep -c '' "$work/token.exe.out")" -eq 1 ] || fail "--sign-pkcs11-module said: $(cat "$work/token.exe.out")"
[ -z "$(ls -A "$work/temp")" ] || fail "left in %TEMP%: $(ls -AR "$work/temp")"
echo "signed under Wine by osslsigncode's Windows build, directly and through a batch file, and verified"
