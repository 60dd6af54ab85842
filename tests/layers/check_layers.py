#!/usr/bin/env python3
"""Checks that the plug-in's folders include only the layers beneath them,
so that the folders form no cycle, and that no two files call each other's
routines in a loop; prints the folder graph it found."""
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
# A routine defined at the start of a line (not static), and any use of one.
DEFINED = re.compile(r'^(?!static)[A-Za-z][\w \*&]*?\b((?:Qu|ROUS_)\w+)\(.*\n\{', re.M)
USED = re.compile(r'\b((?:Qu|ROUS_)\w+)\b')
# Loops that are there already, in files another change is reworking.
KNOWN_LOOPS = {frozenset({"frame/host_overrides.cpp", "frame/os_frame_posix.cpp"})}


def file_loops(root):
    """Pairs of files each of which calls a routine the other defines."""
    texts = {}
    for folder in ALLOWED:
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if name.endswith(".cpp"):
                with open(os.path.join(root, folder, name), encoding="utf-8") as f:
                    texts[folder + "/" + name] = f.read()
    owners, defines = {}, {}
    for path, text in texts.items():
        defines[path] = set(DEFINED.findall(text))
        for routine in defines[path]:
            owners.setdefault(routine, set()).add(path)
    calls = {path: set() for path in texts}
    for path, text in texts.items():
        # A seam's two sides define the same routines; each calls its own.
        for routine in set(USED.findall(text)) - defines[path]:
            calls[path] |= owners.get(routine, set())
    return sorted({tuple(sorted((a, b))) for a in calls for b in calls[a] if a in calls[b]})


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
    for a, b in file_loops(root):
        if frozenset({a, b}) in KNOWN_LOOPS:
            print("known loop: %s and %s" % (a, b))
        else:
            problems.append("%s and %s call each other" % (a, b))
    for problem in problems:
        print("  PROBLEM: " + problem)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
