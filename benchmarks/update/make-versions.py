#!/usr/bin/env python3
"""The versions of an update benchmark, made from one application folder.

  make-versions.py APP OUT

OUT/1.1.0: APP with its main program changed (as a rebuild changes it: the
link time stamp of its PE header), about 3 % of the other bytes changed in
files that sit together in the packing order (an application's own modules,
side by side), the sizes kept, two files removed and two added.
OUT/worst: APP with every file changed and every size kept (every program
rebuilt). OUT/changed.txt: the bytes of 1.1.0's changed and added files.
"""
import os
import random
import shutil
import sys

CHANGED_SHARE = 0.03
ADDED_BYTES = 64 * 1024


def files_of(folder):
    found = []
    for root, _, names in os.walk(folder):
        for name in names:
            found.append(os.path.relpath(os.path.join(root, name), folder))
    return sorted(found)


def change_in_place(path):
    """One byte changed in the middle: the size kept, the CRC-32 not."""
    with open(path, "r+b") as f:
        f.seek(0, 2)
        size = f.tell()
        if size == 0:
            return False
        f.seek(size // 2)
        byte = f.read(1)
        f.seek(size // 2)
        f.write(bytes([byte[0] ^ 0x55]))
    return True


def rebuild_program(path):
    """A rebuilt program: its PE header's link time stamp is another."""
    with open(path, "r+b") as f:
        f.seek(0x3C)
        header = int.from_bytes(f.read(4), "little")
        f.seek(header + 8)
        stamp = int.from_bytes(f.read(4), "little")
        f.seek(header + 8)
        f.write(((stamp + 1) & 0xFFFFFFFF).to_bytes(4, "little"))


def main():
    app, out = sys.argv[1], sys.argv[2]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    update, worst = os.path.join(out, "1.1.0"), os.path.join(out, "worst")
    shutil.copytree(app, update)
    shutil.copytree(app, worst)
    names = [n for n in files_of(app) if n != "main.exe"]
    total = sum(os.path.getsize(os.path.join(app, n)) for n in names)

    rebuild_program(os.path.join(update, "main.exe"))
    changed = os.path.getsize(os.path.join(update, "main.exe"))
    # A run of files from a third of the way in, up to 3 % of the bytes.
    at = len(names) // 3
    share = 0
    while at < len(names) - 2 and share < CHANGED_SHARE * total:
        if change_in_place(os.path.join(update, names[at])):
            share += os.path.getsize(os.path.join(update, names[at]))
        at += 1
    changed += share
    # The two modules after them go (the packing order keeps them together).
    for name in names[at:at + 2]:
        os.remove(os.path.join(update, name))
    rng = random.Random(45)
    for i in (1, 2):
        with open(os.path.join(update, "added-%d.bin" % i), "wb") as f:
            f.write(rng.randbytes(ADDED_BYTES))
        changed += ADDED_BYTES

    rebuild_program(os.path.join(worst, "main.exe"))
    for name in names:
        change_in_place(os.path.join(worst, name))
    with open(os.path.join(out, "changed.txt"), "w") as f:
        f.write("%d\n" % changed)


if __name__ == "__main__":
    main()
