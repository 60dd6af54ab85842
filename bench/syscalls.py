#!/usr/bin/env python3
"""System calls per "Rous-Version" call, counted with strace around
scheduler_bench's probe: with the preferences unchanged, and, as the
reference, with the separator written again before each call (the write's
own calls taken away).

    syscalls.py SCHEDULER_BENCH

Prints one JSON object.
"""

import json
import os
import subprocess
import sys
import tempfile

CALLS = 1000


def count(bench, calls, kind):
    with tempfile.NamedTemporaryFile(suffix=".strace") as out:
        subprocess.run(["strace", "-f", "-c", "-o", out.name, bench,
                        "--benchmark_filter=^BM_SyscallProbe/%d/%d/" % (calls, kind)],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for line in open(out.name):
            fields = line.split()
            if fields and fields[-1] == "total":
                return int(fields[3])
    raise SystemExit("syscalls: strace gave no total")


def main():
    bench = os.path.abspath(sys.argv[1])
    unchanged = (count(bench, CALLS, 0) - count(bench, 0, 0)) / CALLS
    changed = (count(bench, CALLS, 1) - count(bench, CALLS, 2)) / CALLS
    print(json.dumps({"calls": CALLS, "unchanged": unchanged, "changed": changed}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
