#!/usr/bin/env bash
# osslsigncode's own Windows build, for the check of onefile-pack.exe signing
# under Wine (make windows-signer-check): cross-built once with mingw-w64 from
# Debian's source packages of osslsigncode and OpenSSL, statically and
# without curl (so without timestamps), engines or the legacy provider (no
# RC2-encrypted PKCS#12 files), into DEPS_DIR/windows-signer. A quarter of
# an hour on two busy cores the first time (OpenSSL's library); nothing after.
#   windows-signer.sh DEPS_DIR
set -euo pipefail
out=$1/windows-signer
[ -x "$out/osslsigncode.exe" ] && exit 0
work=$out/build
rm -rf "$work" && mkdir -p "$work" && cd "$work"
# The set-up's source list (scripts/debian-sources.sources) gives apt-get source.
apt-get source -qq openssl osslsigncode >/dev/null
cd "$work"/openssl-*/
./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- no-shared no-tests no-engine no-module no-legacy \
  --prefix="$work/prefix" --libdir=lib >/dev/null
make -s -j"${JOBS:-2}" build_libs >/dev/null
make -s install_dev >/dev/null
cd "$work"/osslsigncode-*/
# Without engines, one #endif of the key's reading stands three lines too low
# and takes the PEM branch with it: moved up.
python3 - <<'FIX'
source = open('osslsigncode.c').read()
pem = '\t/* PEM / DER / SPC file format support */\n'
misplaced = '\t\tgoto out; /* FAILED */\n#endif /* OPENSSL_NO_ENGINE */\n'
at = source.index(pem + '\t} else if (!read_certfile')
end = source.index(misplaced, at) + len(misplaced)
block = source[at:end].replace('#endif /* OPENSSL_NO_ENGINE */\n', '')
open('osslsigncode.c', 'w').write(source[:at] + '#endif /* OPENSSL_NO_ENGINE */\n' + block + source[end:])
FIX
version=$(sed -n 's/^ *VERSION \([0-9]*\)\.\([0-9]*\)$/\1 \2/p' CMakeLists.txt)
cat >config.h <<CONFIG
#define VERSION_MAJOR "${version% *}"
#define VERSION_MINOR "${version#* }"
#define PACKAGE_STRING "osslsigncode ${version% *}.${version#* }"
#define PACKAGE_BUGREPORT "Michal.Trojnara@stunnel.org"
#define HAVE_MAPVIEWOFFILE
CONFIG
x86_64-w64-mingw32-gcc -O2 -DHAVE_CONFIG_H=1 -I. -I"$work/prefix/include" osslsigncode.c msi.c applink.c \
  -o osslsigncode.exe -static -L"$work/prefix/lib" -lcrypto -lws2_32 -lgdi32 -lcrypt32 -luser32 -ladvapi32
mkdir -p "$out" && mv osslsigncode.exe "$out/"
rm -rf "$work"
