#!/usr/bin/env python3
"""Turns the guide's command blocks into one bash script, in the guide's order.

```sh blocks run line by line in one shell, so that cd and export carry on
as they would in a user's terminal; the "- run:" steps of ```yaml blocks
(a CI job) run there too; ```bat blocks run each line through Wine's cmd. Every line must succeed, except that a line running the packed
application under Wine ends with the application's own status: it must only
show no failure report of the bootstrap. ```text blocks are shown, not run.

Blocks marked release (```sh release, ```yaml release) install a release
file: they are left out, and with --release they alone are written, for the
release check to run in a fresh Debian root.
"""
import re
import shlex
import sys

FENCE = re.compile(r"^```(\w*)(?: (release))?\s*$")
CI_STEP = re.compile(r"^\s*- run:\s*(.*)$")


def blocks(text, release):
    kind, lines = None, []
    for number, line in enumerate(text.splitlines(), 1):
        fence = FENCE.match(line)
        if fence and kind is None:
            kind, lines, marked = fence.group(1), [], fence.group(2) is not None
        elif fence:
            if marked == release:
                yield kind, lines
            kind = None
        elif kind is not None:
            lines.append((number, line))


def script(text, release=False):
    out = ["set -o pipefail", 'fail() { echo "FAIL: guide line $1: $2 (status $3)" >&2; exit 1; }']
    for kind, lines in blocks(text, release):
        for number, line in lines:
            command = line.strip()
            if kind == "yaml":
                step = CI_STEP.match(line)
                command, kind_of_line = (step.group(1), "sh") if step else ("", kind)
            else:
                kind_of_line = kind
            if not command or command.startswith("#") or kind_of_line not in ("sh", "bat"):
                continue
            shown = shlex.quote(command)
            out.append(f"echo '$ '{shown}")
            if kind_of_line == "bat":
                out.append(f"wine cmd /c {command} </dev/null || fail {number} {shown} $?")
            elif command.startswith("wine "):
                out.append(f'{command} </dev/null >run.log 2>&1; status=$?; cat run.log')
                out.append(f"grep -q '^Error, ' run.log && fail {number} {shown} $status")
                out.append('echo "(exit status $status)"')
            else:
                out.append(f"{command} || fail {number} {shown} $?")
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    release = sys.argv[1:2] == ["--release"]
    with open(sys.argv[-1], encoding="utf-8") as guide:
        sys.stdout.write(script(guide.read(), release))
