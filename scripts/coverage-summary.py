#!/usr/bin/env python3
"""The figures of make coverage: line and branch coverage per folder, from
every instrumented object below a build folder (one that no program ran
counts as never reached), read through gcov's JSON output. Branches that only
an exception takes are left out: the bootstrap has none, and in tools/ every
call that may throw has one, which no test could sensibly take each time.
Then, then, for the bootstrap's folders, every place where a run ends
(a report or an exit) with whether a test reached it, and every line and
branch that no test reached.

    coverage-summary.py GCOV BUILD_DIR SOURCE_ROOT FOLDER...
"""
import json
import re
import subprocess
import sys
from collections import defaultdict
from pathlib import Path

# The calls that end a run; the lines that make them are its ending places.
ENDINGS = re.compile(r"\b(fatalError|endOnSystemError|endWithWideText|reportExpansionFailure|"
                     r"endRunOnFullBuffer|abortRun|endOnWriteFailure|exit|_exit)\(")
# The lines that define those calls rather than make them.
DEFINITION = re.compile(r"(\[\[noreturn\]\]\s*)?void\b")


def gcov_json(gcov, notes_file):
    result = subprocess.run([gcov, "--json-format", "--stdout", "--branch-probabilities", "-o", str(notes_file.parent),
                             str(notes_file)], capture_output=True, text=True, cwd=notes_file.parent)
    for text in result.stdout.splitlines():
        if text.startswith("{"):
            yield json.loads(text)


def collect(gcov, build, root, folders):
    """(file, line) -> [count, [branch counts]], summed over every object and program."""
    lines = defaultdict(lambda: [0, []])
    wanted = [str(root / folder) + "/" for folder in folders]
    for notes_file in sorted(build.rglob("*.gcno")):
        for report in gcov_json(gcov, notes_file):
            for entry in report.get("files", []):
                path = str((notes_file.parent / entry["file"]).resolve())
                # A source that is gone left its object behind in the build folder.
                if not any(path.startswith(prefix) for prefix in wanted) or not Path(path).exists():
                    continue
                for line in entry["lines"]:
                    slot = lines[(path, line["line_number"])]
                    slot[0] += line["count"]
                    branches = [branch["count"] for branch in line.get("branches", []) if not branch["throw"]]
                    if len(slot[1]) < len(branches):
                        slot[1].extend([0] * (len(branches) - len(slot[1])))
                    for i, count in enumerate(branches):
                        slot[1][i] += count
    return lines


def percent(part, whole):
    return f"{100.0 * part / whole:5.1f} %" if whole else "    -  "


def main():
    gcov, build, root, folders = sys.argv[1], Path(sys.argv[2]).resolve(), Path(sys.argv[3]).resolve(), sys.argv[4:]
    lines = collect(gcov, build, root, folders)
    print(f"== coverage of {' '.join(f + '/' for f in folders)} ({build.name})")
    print(f"{'folder':<12} {'lines':>16} {'branches':>20}")
    totals = [0, 0, 0, 0]
    for folder in folders + ["all"]:
        prefix = str(root / folder) + "/"
        chosen = [(k, v) for k, v in lines.items() if folder == "all" or k[0].startswith(prefix)]
        figures = [sum(1 for _, v in chosen if v[0] > 0), len(chosen),
                   sum(sum(1 for c in v[1] if c > 0) for _, v in chosen), sum(len(v[1]) for _, v in chosen)]
        print(f"{folder:<12} {figures[0]:>5}/{figures[1]:<5} {percent(figures[0], figures[1])} "
              f"{figures[2]:>6}/{figures[3]:<6} {percent(figures[2], figures[3])}")
    if folders == ["tools"]:
        return

    print("\n== ending places (a report or an exit): reached, partly (a condition on its line not taken every way) or not")
    by_file = defaultdict(dict)
    for (path, number), value in lines.items():
        by_file[path][number] = value
    for path in sorted(by_file):
        source = Path(path).read_text().splitlines()
        for number in sorted(by_file[path]):
            text = source[number - 1].strip()
            if ENDINGS.search(text) and not text.startswith("//") and not DEFINITION.match(text):
                count, branches = by_file[path][number]
                # A condition on the same line leads to the ending only on
                # one of its branches: every branch must have been taken.
                reached = "NOT REACHED" if count == 0 else "partly" if 0 in branches else "reached"
                print(f"  {reached:<11} {Path(path).relative_to(root)}:{number}: {text}")

    print("\n== lines and branches no test reached")
    for path in sorted(by_file):
        source = Path(path).read_text().splitlines()
        for number in sorted(by_file[path]):
            count, branches = by_file[path][number]
            missed = [i for i, c in enumerate(branches) if c == 0]
            if count == 0 or missed:
                what = "line" if count == 0 else f"branch {', '.join(map(str, missed))} of {len(branches)}"
                print(f"  {Path(path).relative_to(root)}:{number} ({what}): {source[number - 1].strip()}")


main()
