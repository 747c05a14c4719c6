#!/usr/bin/env python3
"""Checks that every relative link of the project's documents leads to a file
or folder of the checkout, and every #anchor to a heading of its target.
Links to other sites are left alone.

    check-links.py SOURCE_DIR
"""
import re
import sys
from pathlib import Path

DOCUMENTS = ["README.md", "CHANGELOG.md", "docs/*.md", "docs/bench/*.md"]
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")
HEADING = re.compile(r"^#+\s+(.*)$", re.M)


def anchor(heading):
    # GitHub's anchors: lower case, without punctuation, spaces as dashes.
    return re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")


def main():
    root = Path(sys.argv[1]).resolve()
    documents = sorted({p for pattern in DOCUMENTS for p in root.glob(pattern)})
    faults, links = [], 0
    for document in documents:
        text = re.sub(r"^```.*?^```", "", document.read_text(encoding="utf-8"), flags=re.M | re.S)
        for target in LINK.findall(text):
            if re.match(r"^[a-z]+:", target):
                continue
            links += 1
            path, _, fragment = target.partition("#")
            resolved = (document.parent / path).resolve() if path else document
            where = f"{document.relative_to(root)}: ({target})"
            if not resolved.exists() or root not in (resolved, *resolved.parents):
                faults.append(f"{where}: no such file in the checkout")
            elif fragment and fragment not in {anchor(h) for h in HEADING.findall(resolved.read_text("utf-8"))}:
                faults.append(f"{where}: no heading #{fragment} there")
    for fault in faults:
        print("FAIL:", fault)
    print(f"check-links: {links} links in {len(documents)} documents, {len(faults)} broken")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
