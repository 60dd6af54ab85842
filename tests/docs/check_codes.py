#!/usr/bin/env python3
"""Checks the tables of codes in the README and the function reference
against the one table of codes, frame/errors.h: every code they name is
defined there, and every code defined there that a user can meet is named
in them."""
import re
import sys

ENTRY = re.compile(r"^\s*k(?:Err|Ok)\w*\s*=\s*(-?\d+),?\s*(?://\s*(.*))?$", re.M)
PLATFORM = re.compile(r"^\s*k(?:Win|Wsa)\w*\s*=\s*(\d+),?", re.M)
# A code in a table: in a row's first cell, or anywhere in an "error codes" row.
IN_CELL = re.compile(r"(?<![\w.])(-\d{1,4}|1[01]\d{3})(?![\w.])")


def main():
    root = sys.argv[1]
    header = open(root + "/frame/errors.h", encoding="utf-8").read()
    own = {int(code): comment or "" for code, comment in ENTRY.findall(header)}
    platform = {int(code) for code in PLATFORM.findall(header)}
    named = set()
    for path in ("README.md", "docs/functions.md"):
        text = open(root + "/" + path, encoding="utf-8").read()
        for line in text.splitlines():
            if not line.startswith("|"):
                continue
            cells = line.split("|")
            first = cells[1] if len(cells) > 1 else ""
            codes = IN_CELL.findall(first)
            if "error codes" in line:
                codes += IN_CELL.findall(line)
            named.update(int(c) for c in codes)
    problems = []
    for code in sorted(named):
        if code < 0 and code not in own:
            problems.append("the documents name %d, which frame/errors.h does not define" % code)
        if code >= 10000 and code not in platform:
            problems.append("the documents name %d, which frame/errors.h does not name" % code)
    for code, comment in sorted(own.items()):
        if code != 0 and not comment.startswith("inside") and code not in named:
            problems.append("%d is defined in frame/errors.h but in no table of the documents" % code)
    for problem in problems:
        print("  PROBLEM: " + problem)
    print("codes: %d of the plug-in's own and %d platform numbers defined; the documents name %d" %
          (len(own) - 1, len(platform), len(named)))
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
