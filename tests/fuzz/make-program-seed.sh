#!/usr/bin/env bash
# Makes the program reader's fuzzing seed kept in regressions/program/: a
# small x86-64 console program built by mingw-w64 and windres (not by this
# project's writer), with two icon images in a group, a version resource
# with the four strings taken over, and a second icon group behind the first.
#
#   make-program-seed.sh OUTPUT.exe
set -euo pipefail
out=$(realpath -m "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - <<'PY'
import struct
# 16x16 bitmaps (32 bits, and 4 bits with a palette) with their AND masks.
def bitmap(bits, colours):
    header = struct.pack('<IiiHHIIiiII', 40, 16, 32, 1, bits, 0, 0, 0, 0, colours, 0)
    row = (16 * bits + 31) // 32 * 4
    return header + b'\x00\x80\xff\x00' * colours + b'\x5a' * row * 16 + b'\x00' * 4 * 16
images = [(32, 0, bitmap(32, 0)), (4, 16, bitmap(4, 16))]
ico = struct.pack('<HHH', 0, 1, len(images))
offset = 6 + 16 * len(images)
for bits, colours, data in images:
    ico += struct.pack('<BBBBHHII', 16, 16, colours, 0, 1, bits, len(data), offset)
    offset += len(data)
open('seed.ico', 'wb').write(ico + b''.join(data for _, _, data in images))
PY

cat >seed.rc <<'RC'
1 ICON "seed.ico"
2 ICON "seed.ico"
1 VERSIONINFO
FILEVERSION 1, 2, 3, 4
PRODUCTVERSION 1, 2, 0, 0
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "CompanyName", "Seed Company"
      VALUE "FileDescription", "A seed for the program reader"
      VALUE "ProductName", "Seed"
      VALUE "LegalCopyright", "(c) nobody"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
RC
printf 'void start(void) { for (;;) {} }\n' >seed.c
x86_64-w64-mingw32-windres seed.rc -O coff -o seed-res.o
x86_64-w64-mingw32-gcc -Os -s -nostdlib -Wl,--entry=start -Wl,--subsystem,console seed.c seed-res.o -o seed.exe
cp seed.exe "$out"
