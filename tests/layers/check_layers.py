#!/usr/bin/env python3
"""Checks that the plug-in's folders include only the layers beneath them,
so that the folders form no cycle; prints the folder graph it found."""
import os
import re
import sys

# Each folder and the folders it may use; a folder never uses one above it.
ALLOWED = {
    "resources": set(),
    "frame": {"resources"},
    "scheduler": {"frame", "resources"},
    "remote": {"frame", "scheduler"},
    "trigger": {"frame", "scheduler", "remote"},
    "plugin": {"frame", "scheduler", "remote", "trigger", "resources"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+)/', re.M)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    found, problems = {}, []
    for folder in ALLOWED:
        uses = set()
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if not name.endswith((".cpp", ".h", ".rc")):
                continue
            with open(os.path.join(root, folder, name), encoding="utf-8") as f:
                for used in INCLUDE.findall(f.read()):
                    if used in ALLOWED and used != folder:
                        uses.add(used)
                        if used not in ALLOWED[folder]:
                            problems.append("%s/%s includes %s/" % (folder, name, used))
        found[folder] = uses
    for folder, uses in found.items():
        print("%-9s uses %s" % (folder, ", ".join(sorted(uses)) or "nothing"))
    for problem in problems:
        print("  PROBLEM: " + problem)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
