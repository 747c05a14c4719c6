#!/usr/bin/env python3
"""Runs check-includes.py over small made-up trees: each case is a set of
files and the faults (or none) the check must name.

    check-includes-test.py TABLE     (TABLE: cmake/bootstrap-layers.txt)
"""
import subprocess
import sys
import tempfile
from pathlib import Path

CHECK = Path(__file__).with_name("check-includes.py")
MARK = "// Shared with onefile-pack: test.\n"
SHARED = {  # every shared file of the table, marked and standing alone
    "diag/library-search.h": MARK + "#include <windows.h>\n",
    "diag/library-search.cpp": MARK + '#include "diag/library-search.h"\n#include <wchar.h>\n',
    "diag/limits.h": MARK,
    "paths/placeholder-names.h": MARK,
    "paths/version-folder.h": MARK + '#include "paths/placeholder-names.h"\n#include <stdint.h>\n',
    "payload/crc32.h": MARK,
    "payload/device-names.h": MARK,
    "payload/format.h": MARK,
    "payload/record-cursor.h": MARK + '#include "diag/limits.h"\n#include <stdint.h>\n',
    "payload/frame-index.h": MARK + '#include "payload/record-cursor.h"\n',
    "resources/attached.h": MARK,
    "resources/load-configuration.h": MARK,
    "resources/load-configuration.cpp": MARK + '#include "resources/load-configuration.h"\n#include <windows.h>\n',
    "payload/crc32.cpp": MARK + '#include "payload/crc32.h"\n#include <zlib.h>\n',
    "payload/record-cursor.cpp": MARK + '#include "payload/record-cursor.h"\n',
    "payload/frame-index.cpp": MARK + '#include "payload/frame-index.h"\n',
}
CASES = [
    ("downward and same-folder includes", {
        "diag/report.h": '#include "diag/limits.h"\n',
        "paths/template.cpp": '#include "diag/report.h"\n#include "resources/embedded.h"\n#include "local.h"\n',
        "resources/embedded.h": "",
        "bootstrap/driver.cpp": '#include "payload/format.h"\n#include "paths/template.h"\n',
        "paths/template.h": "",
        "tools/host/list.cpp": '#include "payload/format.h"\n#include "host/list.h"\n#include <string>\n',
        "tools/host/list.h": "",
    }, []),
    ("an include running back up", {
        "diag/report.cpp": '// text\n#include "diag/limits.h"\n#include "paths/text.h"\n',
        "paths/text.h": "",
    }, ['diag/report.cpp:3: #include "paths/text.h": runs up from diag/ to paths/']),
    ("payload reaching the driver", {
        "payload/extract.cpp": '#include "bootstrap/driver.h"\n',
        "bootstrap/driver.h": "",
    }, ['payload/extract.cpp:1: #include "bootstrap/driver.h": runs up from payload/ to bootstrap/']),
    ("the bootstrap reaching into the tool", {
        "paths/template.cpp": '#include "tools/utf.h"\n',
    }, ['paths/template.cpp:1: #include "tools/utf.h": paths/ includes from outside']),
    ("a header that is not there", {
        "payload/reader.cpp": '#include "diag/gone.h"\n',
    }, ['payload/reader.cpp:1: #include "diag/gone.h": no such header']),
    ("the tool taking an internal header", {
        "paths/random-text.h": "",
        "tools/onefile-pack/target.cpp": ('#include "paths/placeholder-names.h"\n#include "paths/random-text.h"\n'
                                          '#include "payload/crc32.cpp"\n'),
    }, ['tools/onefile-pack/target.cpp:2: #include "paths/random-text.h": tools/ includes only the shared',
        'tools/onefile-pack/target.cpp:3: #include "payload/crc32.cpp": tools/ includes only the shared']),
    ("a shared header leaning on an internal one", {
        "payload/format.h": MARK + '#include "diag/report.h"\n',
        "diag/report.h": "",
    }, ['payload/format.h:2: #include "diag/report.h": a shared file includes one that is not shared']),
    ("the tool's folders, downward and up", {
        "tools/host/utf.h": "",
        "tools/host/utf.cpp": '#include "host/utf.h"\n',
        "tools/pe-image/pe-headers.cpp": '#include "host/utf.h"\n#include "payload/format.h"\n',
        "tools/payload-io/payload-file.h": "",
        "tools/onefile-pack/list.cpp": '#include "payload-io/payload-file.h"\n#include "host/utf.h"\n',
        "tools/host/progress.cpp": '#include "host/utf.h"\n#include "payload-io/payload-file.h"\n',
    }, ['tools/host/progress.cpp:2: #include "payload-io/payload-file.h": runs up from tools/host/ to tools/payload-io/']),
    ("tool includes that name no layer, or no header", {
        "tools/host/utf.h": "",
        "tools/pe-image/pe-headers.cpp": ('#include "utf.h"\n#include "../host/utf.h"\n#include "tools/host/utf.h"\n'
                                          '#include "host/gone.h"\n'),
    }, ['tools/pe-image/pe-headers.cpp:1: #include "utf.h": names no folder of the tool',
        'tools/pe-image/pe-headers.cpp:2: #include "../host/utf.h": names no folder of the tool',
        'tools/pe-image/pe-headers.cpp:3: #include "tools/host/utf.h": names no folder of the tool',
        'tools/pe-image/pe-headers.cpp:4: #include "host/gone.h": no such header']),
    ("platform conditionals in host/ only", {
        "tools/host/text-output.h": "#ifdef _WIN32\n#endif\n",
        "tools/payload-io/names.cpp": "#include <string>\n#if defined(_WIN32)\n#endif\n",
    }, ['tools/payload-io/names.cpp:2: asks for _WIN32 outside tools/host/']),
    ("a tool folder missing from the table", {
        "tools/extras/x.cpp": "",
    }, ['tools/extras/x.cpp: tools/extras/ is not in']),
    ("a shared source leaning on an internal header", {
        "payload/record-cursor.cpp": MARK + '#include "payload/reader.h"\n',
        "payload/reader.h": "",
    }, ['payload/record-cursor.cpp:2: #include "payload/reader.h": a shared file includes one that is not shared']),
    ("marks missing and misplaced", {
        "resources/attached.h": "#pragma once\n",
        "diag/report.h": MARK,
    }, ['resources/attached.h:1: a shared file without the line',
        'diag/report.h:1: marked as shared but not in bootstrap-layers.txt']),
]


def run_case(table, files):
    with tempfile.TemporaryDirectory() as folder:
        root = Path(folder)
        for name, text in {**SHARED, **files}.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text)
        done = subprocess.run([sys.executable, CHECK, table, root], capture_output=True, text=True)
        return done.returncode, done.stdout.splitlines()


def main():
    table = Path(sys.argv[1]).resolve()
    failures = 0
    for title, files, expected in CASES:
        status, lines = run_case(table, files)
        named = all(any(line.startswith(want) for line in lines) for want in expected)
        if status != (1 if expected else 0) or not named or len(lines) != len(expected):
            failures += 1
            print(f"FAIL {title}: status {status}, output:\n  " + "\n  ".join(lines))
    print(f"{len(CASES) - failures} of {len(CASES)} cases as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
