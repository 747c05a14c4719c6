#!/usr/bin/env python3
"""Writes onefile-pack's manual page from what the tool itself says.

    help-to-man.py TOOL OUT.1

The synopsis and the list of commands come from `TOOL --help`, each command's
section from `TOOL COMMAND --help` and the footer from `TOOL --version`, so the
page follows every option the tool gains. It carries no date: the same tool
gives the same page.
"""
import re
import subprocess
import sys

# A command in the tool's list: "  name     summary", its summary going on in
# lines indented to the same column.
COMMAND = re.compile(r"^  ([a-z][a-z-]*) +(\S.*)$")
# An argument's or option's line: the left column, two spaces or more, its text.
HELP_LINE = re.compile(r"^  (\S.*?)\s{2,}(\S.*)$")
CONTINUATION = re.compile(r"^ {4,}(\S.*)$")


def run(tool, *arguments):
    done = subprocess.run([tool, *arguments], capture_output=True, text=True, check=False)
    if done.returncode != 0:
        sys.exit(f"help-to-man: {tool} {' '.join(arguments)} ended with status {done.returncode}")
    return done.stdout


def roff(text):
    """Text as roff shows it literally: backslashes, hyphens and leading dots escaped."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text.startswith((".", "'")) else text


def paragraphs(lines):
    """Blank-line separated blocks of lines."""
    block = []
    for line in lines + [""]:
        if line.strip():
            block.append(line)
        elif block:
            yield block
            block = []


def entries(block):
    """(left column, text) of each help line, continuation lines joined; None
    when the block is not such a table."""
    found = []
    for line in block:
        match = HELP_LINE.match(line)
        if match:
            found.append([match.group(1), match.group(2)])
        elif found and CONTINUATION.match(line):
            found[-1][1] += " " + line.strip()
        else:
            return None
    return found


def tool_page(tool):
    version = run(tool, "--version").strip()
    blocks = list(paragraphs(run(tool, "--help").splitlines()))
    forms = [line.strip() for line in blocks[0][1:]]
    commands = []
    for line in blocks[1]:
        match = COMMAND.match(line)
        if match:
            commands.append([match.group(1), match.group(2)])
        else:
            commands[-1][1] += " " + line.strip()
    closing = " ".join(line.strip() for line in blocks[2])

    out = [f'.TH ONEFILE\\-PACK 1 "" "{roff(version)}" "User Commands"', ".SH NAME",
           "onefile\\-pack \\- pack a Windows application folder into one executable", ".SH SYNOPSIS", ".nf"]
    out += [roff(form) for form in forms]
    out += [".fi", ".SH DESCRIPTION",
            "onefile\\-pack packs a Windows x86\\-64 application's folder into one executable that unpacks "
            "it into a per\\-user cache and starts the application. Its commands:"]
    for name, summary in commands:
        out += [".TP", f"\\fB{name}\\fR", roff(summary)]
    out += [".PP", roff(closing)]
    for name, _ in commands:
        out += command_section(tool, name)
    out += [".SH EXIT STATUS", "0 on success, 1 when a file is refused, damaged or cannot be read or written, "
            "2 for a command line the tool cannot follow.", ".SH SEE ALSO",
            "The user's guide, guide.md, installed with this page's package among its documentation."]
    return "\n".join(out) + "\n"


def command_section(tool, name):
    lines = run(tool, name, "--help").splitlines()
    blocks = list(paragraphs(lines))
    out = [f".SS {roff(name)}", ".nf"]
    out += [roff(re.sub(r"^(usage:)?\s+", "", line)) for line in blocks[0]]
    out += [".fi", ".PP", roff(" ".join(line.strip() for line in blocks[1]))]
    for block in blocks[2:]:
        table = entries(block[1:]) if block[0].endswith(":") else None
        if table is None:  # a paragraph of its own
            out += [".PP", roff(" ".join(line.strip() for line in block))]
            continue
        out.append(f".PP\n{roff(block[0].rstrip(':').capitalize())}:")
        for left, text in table:
            out += [".TP", f"\\fB{roff(left)}\\fR", roff(text)]
    return out


if __name__ == "__main__":
    page = tool_page(sys.argv[1])
    with open(sys.argv[2], "w", encoding="utf-8") as out:
        out.write(page)
