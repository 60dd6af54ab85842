#!/usr/bin/env python3
"""Checks the release zip as a user receives it: the files it must hold,
and the module in it as check_module.py checks a built one."""
import sys
import zipfile

from check_module import check

FILES = {"RouserPlugIn.fmx", "functions.html", "README.md", "LICENSE", "CHANGELOG.md"}


def main():
    archive, header, version = sys.argv[1], sys.argv[2], sys.argv[3]
    problems = []
    with zipfile.ZipFile(archive) as z:
        names = {name.split("/")[-1] for name in z.namelist() if not name.endswith("/")}
        problems += ["missing from the zip: " + n for n in sorted(FILES - names)]
        module = next(n for n in z.namelist() if n.endswith("RouserPlugIn.fmx"))
        found, summary = check(z.read(module), header, version)
    problems += found
    for problem in problems:
        print("  PROBLEM: " + problem)
    print("zip: %d files; %s" % (len(names), summary))
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
