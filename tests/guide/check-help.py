#!/usr/bin/env python3
"""Checks what onefile-pack says about itself against the user's guide.

    check-help.py GUIDE TOOL [WRAPPER...]

For every command the guide's reference describes (a "### name" section with
a table, or with none for a command that takes nothing), `TOOL name --help`
must show the guide's usage forms and exactly the table's rows, in order, as its argument and option lines (the guide's
backticks aside); `TOOL --help` must list exactly those commands, and
`TOOL --version` must print what the guide says it prints. WRAPPER runs the
tool (e.g. wine); output may end its lines in CR LF.
"""
import re
import subprocess
import sys

ROW = re.compile(r"^\|(.+?)\|(.+)\|\s*$")
HELP_LINE = re.compile(r"^  (\S.*?)\s{2,}(\S.*)$")
# A long explanation goes on below its column, in lines of their own.
CONTINUATION = re.compile(r"^ {28}(\S.*)$")
OWN_HELP = "-h, --help"
HEADER = ("Argument or option", "Meaning")  # a command's table; other tables are not its help
COMMAND_NAME = re.compile(r"^[a-z]+$")  # "### notices"; "### Path templates" is no command


def reference(guide):
    return guide.split("## onefile-pack reference", 1)[1].split("\n## ", 1)[0]


def plain(cell):
    return cell.strip().replace("`", "")


def guide_tables(section):
    tables = {}
    for part in re.split(r"^### ", section, flags=re.M)[1:]:
        name, body = part.split("\n", 1)
        rows = [ROW.match(line) for line in body.splitlines()]
        rows = [(plain(m.group(1)), plain(m.group(2))) for m in rows if m]
        if rows and rows[0] == HEADER:
            tables[name.strip()] = [r for r in rows[1:] if not r[1].startswith("---")]
        elif COMMAND_NAME.match(name.strip()):  # a command that takes nothing
            tables[name.strip()] = []
    return tables


def run(command):
    done = subprocess.run(command, capture_output=True, timeout=120)
    return done.returncode, done.stdout.decode("utf-8").replace("\r\n", "\n")


def help_lines(text):
    lines, listing = [], False
    for line in text.splitlines():
        if line in ("arguments:", "options:"):
            listing = True
        elif listing and HELP_LINE.match(line):
            m = HELP_LINE.match(line)
            lines.append((m.group(1), m.group(2)))
        elif listing and lines and CONTINUATION.match(line):
            lines[-1] = (lines[-1][0], lines[-1][1] + " " + CONTINUATION.match(line).group(1))
    return lines


def main():
    guide = open(sys.argv[1], encoding="utf-8").read()
    tool = sys.argv[3:] + [sys.argv[2]]
    section = reference(guide)
    forms = {line.strip() for line in section.splitlines() if line.startswith("    onefile-pack ")}
    tables = guide_tables(section)
    problems = []

    status, listing = run(tool + ["--help"])
    listed = re.findall(r"^  (\w+)\s{2,}", listing, flags=re.M)
    if status != 0 or sorted(listed) != sorted(tables):
        problems.append(f"--help lists {listed} (status {status}); the guide describes {sorted(tables)}")
    for name, rows in tables.items():
        status, text = run(tool + [name, "--help"])
        shown = [line for line in help_lines(text) if line[0] != OWN_HELP]
        if status != 0 or shown != rows:
            problems.append(f"{name} --help (status {status}) shows\n  {shown}\nwhere the guide has\n  {rows}")
        usage = [re.sub(r"^(usage:)?\s+", "", l) for l in text.splitlines()
                 if l.startswith(("usage:", "       onefile-pack "))]
        for form in usage:
            if form not in forms:
                problems.append(f"{name} --help shows the usage '{form}', which the guide's reference does not")
        if f"`onefile-pack COMMAND --help`" not in section or OWN_HELP not in text:
            problems.append(f"{name} --help: -h, --help is not shown, or the guide does not say so")

    promised = re.search(r"`onefile-pack --version` prints\s+`([^`]+)`", section)
    status, version = run(tool + ["--version"])
    if promised is None or status != 0 or version != promised.group(1) + "\n":
        problems.append(f"--version prints {version!r} (status {status}); the guide says "
                        f"{promised.group(1) if promised else 'nothing'}")
    for problem in problems:
        print("FAIL:", problem)
    if not problems:
        print(f"help and version of {' '.join(tool)} match the guide ({len(tables)} commands)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
