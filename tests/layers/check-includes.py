#!/usr/bin/env python3
"""Checks every quoted include of the bootstrap's folders and of tools/
against the table of layers, shared files and the tool's folders, naming
each offending line. Both sides name a header by its folder ("diag/report.h",
"host/utf.h"), so that the folder an include reaches is read off its name.
In tools/, only host/ may ask which system it is built for: elsewhere the
difference lives in host's *-posix.cpp and *-windows.cpp files.

    check-includes.py TABLE SOURCE_DIR     (TABLE: cmake/bootstrap-layers.txt)
"""
import re
import sys
from pathlib import Path

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
PLATFORM_CONDITION = re.compile(r'^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b_WIN32\b')
PLATFORM_FOLDER = "host"
SOURCE_SUFFIXES = {".h", ".cpp"}
# The line every shared file starts with, and no other file.
SHARED_MARK = "// Shared with onefile-pack:"


def read_table(table):
    layers, shared, tools = [], set(), []
    for line in table.read_text().splitlines():
        if not line or line.startswith("#"):
            continue
        kind, name = line.split()
        {"layer": layers.append, "shared": shared.add, "tool": tools.append}[kind](name)
    return layers, shared, tools


def quoted_includes(path):
    for number, line in enumerate(path.read_text().splitlines(), 1):
        match = INCLUDE.match(line)
        if match:
            yield number, match.group(1)


def check_layer_file(root, path, layers, shared, faults, table_name):
    folder = path.relative_to(root).parts[0]
    level = layers.index(folder)
    relative = path.relative_to(root).as_posix()
    for number, name in quoted_includes(path):
        where = f"{relative}:{number}: #include \"{name}\""
        target = name.split("/")[0] if "/" in name else folder
        if target not in layers:
            faults.append(f"{where}: {folder}/ includes from outside the bootstrap's folders")
        elif layers.index(target) > level:
            faults.append(f"{where}: runs up from {folder}/ to {target}/")
        elif "/" in name and not (root / name).is_file():
            faults.append(f"{where}: no such header")
        elif relative in shared and name not in shared:
            faults.append(f"{where}: a shared file includes one that is not shared")
    marked = path.read_text().startswith(SHARED_MARK)
    if relative in shared and not marked:
        faults.append(f"{relative}:1: a shared file without the line \"{SHARED_MARK}\"")
    if relative not in shared and marked:
        faults.append(f"{relative}:1: marked as shared but not in {table_name}")


def check_tool_file(root, path, layers, shared, tools, faults, table_name):
    relative = path.relative_to(root).as_posix()
    inner = path.relative_to(root / "tools").parts
    if len(inner) == 1:
        return  # the folder's own build files, not code
    folder = inner[0]
    if folder not in tools:
        faults.append(f"{relative}: tools/{folder}/ is not in {table_name}")
        return
    for number, name in quoted_includes(path):
        where = f"{relative}:{number}: #include \"{name}\""
        target = name.split("/")[0] if "/" in name else None
        if target in layers:
            if name not in shared or not name.endswith(".h"):
                faults.append(f"{where}: tools/ includes only the shared headers of the bootstrap")
        elif target not in tools:
            faults.append(f"{where}: names no folder of the tool's layers")
        elif tools.index(target) > tools.index(folder):
            faults.append(f"{where}: runs up from tools/{folder}/ to tools/{target}/")
        elif not (root / "tools" / name).is_file():
            faults.append(f"{where}: no such header")
    if folder != PLATFORM_FOLDER:
        for number, line in enumerate(path.read_text().splitlines(), 1):
            if PLATFORM_CONDITION.match(line):
                faults.append(f"{relative}:{number}: asks for _WIN32 outside tools/{PLATFORM_FOLDER}/")


def sources(folder):
    return sorted(p for p in folder.rglob("*") if p.suffix in SOURCE_SUFFIXES and p.is_file())


def main():
    table, root = Path(sys.argv[1]), Path(sys.argv[2]).resolve()
    layers, shared, tools = read_table(table)
    faults = []
    for name in sorted(shared):
        if not (root / name).is_file():
            faults.append(f"{table.name}: shared file {name} does not exist")
    for folder in layers:
        for path in sources(root / folder):
            check_layer_file(root, path, layers, shared, faults, table.name)
    for path in sources(root / "tools"):
        check_tool_file(root, path, layers, shared, tools, faults, table.name)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
