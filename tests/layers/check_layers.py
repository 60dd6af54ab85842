#!/usr/bin/env python3
"""Checks that the plug-in's folders include only the layers beneath them,
so that the folders form no cycle, and that no files of any folder call
each other's routines in a loop of any length; prints the folder graph it
found and the number of files it read."""
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
# A routine defined at the start of a line: what comes before its name,
# its name, then its body's brace at the start of the next line.
DEFINED = re.compile(r'^([A-Za-z][\w \*&:<>,]*?)\b([A-Za-z_]\w*)\(.*\n\{', re.M)
# What an unnamed namespace holds is the file's own, like a static routine.
UNNAMED = re.compile(r'^namespace \{\n.*?^\} // namespace$', re.M | re.S)
# Comments and literals name no routine.
NOT_CODE = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)
WORD = re.compile(r'\b[A-Za-z_]\w*\b')
# Names that every program defines and no file calls.
NOT_ROUTINES = {"main", "LLVMFuzzerTestOneInput", "TEST", "TEST_F", "TEST_P"}
SKIP = {".git", "build"}


def sources(root):
    """Every C++ file of the tree, by its path under root."""
    texts = {}
    for folder, subfolders, names in os.walk(root):
        subfolders[:] = sorted(d for d in subfolders if d not in SKIP and not d.startswith("."))
        for name in sorted(names):
            if name.endswith(".cpp"):
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8") as f:
                    texts[os.path.relpath(path, root).replace(os.sep, "/")] = f.read()
    return texts


def call_graph(texts):
    """Each file and the files whose routines it calls."""
    owners, own = {}, {}
    for path, text in texts.items():
        shared = {name for before, name in DEFINED.findall(UNNAMED.sub("", text)) if "static" not in before}
        own[path] = {name for _, name in DEFINED.findall(text)}
        for routine in shared - NOT_ROUTINES:
            owners.setdefault(routine, set()).add(path)
    calls = {}
    for path, text in texts.items():
        # A file's own routines hide others of the same name, and a seam's
        # two sides define the same routines: each calls its own.
        calls[path] = set()
        for routine in set(WORD.findall(NOT_CODE.sub(" ", text))) - own[path]:
            calls[path] |= owners.get(routine, set())
    return calls


def loops(calls):
    """The strongly connected components of more than one file (Tarjan's
    algorithm, without recursion so that a long chain cannot overflow)."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    for start in sorted(calls):
        if start in index:
            continue
        work = [(start, iter(sorted(calls[start])))]
        index[start] = low[start] = len(index)
        stack.append(start)
        on_stack.add(start)
        while work:
            node, successors = work[-1]
            advanced = False
            for succ in successors:
                if succ not in index:
                    index[succ] = low[succ] = len(index)
                    stack.append(succ)
                    on_stack.add(succ)
                    work.append((succ, iter(sorted(calls[succ]))))
                    advanced = True
                    break
                if succ in on_stack:
                    low[node] = min(low[node], index[succ])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    found.append(sorted(component))
    return sorted(found)


def folder_problems(root, found):
    problems = []
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
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    found = {}
    problems = folder_problems(root, found)
    for folder, uses in found.items():
        print("%-9s uses %s" % (folder, ", ".join(sorted(uses)) or "nothing"))
    texts = sources(root)
    calls = call_graph(texts)
    for component in loops(calls):
        problems.append("these files call each other in a loop: " + ", ".join(component))
    print("%d C++ files, %d calls between them" % (len(texts), sum(len(c) for c in calls.values())))
    for problem in problems:
        print("  PROBLEM: " + problem)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
