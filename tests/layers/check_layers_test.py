#!/usr/bin/env python3
"""Small trees that the loop check must judge right: loops of every length
and in any folder found, names that only look like calls not taken for
calls. Exits 1 on the first wrong judgement."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_layers  # noqa: E402


def routine(name, calls=(), static=False):
    body = "".join("    %s();\n" % c for c in calls)
    return "%svoid %s(void)\n{\n%s}\n" % ("static " if static else "", name, body)


RING = {"hostsim/r%03d.cpp" % i: routine("HsR%03d" % i, ["HsR%03d" % ((i + 1) % 300)]) for i in range(300)}

# (what, files, the loops expected)
CASES = [
    ("three files in a loop in hostsim",
     {"hostsim/a.cpp": routine("HsA", ["HsB"]), "hostsim/b.cpp": routine("HsB", ["HsC"]),
      "hostsim/c.cpp": routine("HsC", ["HsA"]), "hostsim/d.cpp": routine("HsD", ["HsA"])},
     [["hostsim/a.cpp", "hostsim/b.cpp", "hostsim/c.cpp"]]),
    ("a chain is no loop",
     {"tools/a.cpp": routine("A", ["B"]), "tools/b.cpp": routine("B", ["C"]), "tools/c.cpp": routine("C")},
     []),
    ("a seam side that calls back into its caller",
     {"frame/prefs.cpp": routine("QuLoad", ["QuOsOpen"]) + routine("QuRoot"),
      "frame/os_posix.cpp": routine("QuOsOpen", ["QuRoot"]), "frame/os_win32.cpp": routine("QuOsOpen")},
     [["frame/os_posix.cpp", "frame/prefs.cpp"]]),
    ("static and unnamed routines are the file's own and hide others",
     {"hostsim/a.cpp": routine("Find", static=True) + routine("Look", static=True) + "namespace {\n" +
      routine("Call") + "} // namespace\n" + routine("HsA", ["Find", "HsB"]),
      "hostsim/b.cpp": routine("HsB", ["Look", "Call"]), "tests/c.cpp": routine("Find", ["HsA"])},
     []),
    ("a name in a comment or a text is no call",
     {"scheduler/a.cpp": routine("QuA") + "// QuB answers\nconst char *t = \"QuB\";\n",
      "scheduler/b.cpp": routine("QuB", ["QuA"])},
     []),
    ("a ring of 300 files", RING, [sorted(RING)]),
]


def main():
    wrong = 0
    for what, files, expected in CASES:
        found = check_layers.loops(check_layers.call_graph(files))
        if found != expected:
            print("loop check wrong on %s: found %s" % (what, found))
            wrong += 1
    print("loop check: %d of %d small trees judged right" % (len(CASES) - wrong, len(CASES)))
    sys.exit(1 if wrong else 0)


if __name__ == "__main__":
    main()
