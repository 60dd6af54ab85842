#!/usr/bin/env python3
"""Event files across the version before repeating events and this one.

Builds rouser-host and the plug-in of the version before (a commit, by
default the last one without repeating events) from git into a folder of
its own, then runs real hosts of both versions on one event file, each way:
that version reads a repeating event as a single one that fires once, and
what it writes back reads here; this version reads its file with the same
IDs, states and due times, no interval, and writes back the same bytes.
"""
import argparse
import datetime
import glob
import os
import shutil
import subprocess
import sys

BEFORE = "12ef012"  # the last commit before repeating events
HOST_FILES = ["rouser-host", "RouserPlugIn.so", "FMWrapper.dll"]


def build_before(root, folder, commit):
    # The commit's files unpacked: no worktree is registered in the repository.
    source, build = os.path.join(folder, "src-" + commit), os.path.join(folder, "build-" + commit)
    if not os.path.isdir(source):
        os.makedirs(source)
        archive = subprocess.run(["git", "-C", root, "archive", commit], check=True, capture_output=True).stdout
        subprocess.run(["tar", "-x", "-C", source], input=archive, check=True)
    quiet = dict(check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "-S", source, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
                    "-DROUSER_TESTS=OFF", "-DROUSER_SANITIZE=OFF"], **quiet)
    subprocess.run(["ninja", "-C", build, "rouser-host", "RouserPlugIn", "hostsim_text_library"], **quiet)
    return build


def run_host(build, folder, commands, events_from=None):
    """A fresh host from `build` in `folder`, with the event file of another
    folder when given; the result and start lines it printed."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name in HOST_FILES:
        shutil.copy2(os.path.join(build, name), folder)
    if events_from:
        shutil.copy2(event_file(events_from), folder)
    done = subprocess.run([os.path.join(folder, "rouser-host"), "--open", "Orders=Report"],
                          input="\n".join(commands + ["quit"]) + "\n", cwd=folder, capture_output=True,
                          text=True, timeout=120,
                          env=dict(os.environ, ROUSER_PREFS_ROOT=os.path.join(folder, "prefs")))
    if done.returncode != 0:
        raise SystemExit("rouser-host in %s: exit %d: %s" % (folder, done.returncode, done.stderr))
    return [line.rstrip(" ") for line in done.stdout.splitlines() if line.startswith(("result:", "started:"))]


def event_file(folder):
    files = glob.glob(os.path.join(folder, "RousEv*.Qul"))
    if len(files) != 1:
        raise SystemExit("%s: %d event files" % (folder, len(files)))
    return files[0]


def when(ahead):
    """Date and time fields, and the host's timestamp number, `ahead` seconds on."""
    at = datetime.datetime.now().replace(microsecond=0) + datetime.timedelta(seconds=ahead)
    day, seconds = at.date().toordinal(), at.hour * 3600 + at.minute * 60 + at.second
    return "%d|%d" % (day, seconds), str((day - 1) * 86400 + seconds)


def schedule(options, at, text):
    return "call Rous-ScheduleEvent %s|%s|Orders|Report|%s" % (options, at, text)


def info(options):
    return "call Rous-GetEventInfo " + options


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="this version's native build folder")
    parser.add_argument("--folder", required=True, help="work folder, the version before built in it")
    parser.add_argument("--before", default=BEFORE, help="the commit of the version before")
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    work, new = os.path.abspath(args.folder), os.path.abspath(args.build)
    os.makedirs(work, exist_ok=True)
    before = build_before(root, work, args.before)
    problems = []

    def expect(what, got, wanted):
        if got != wanted:
            problems.append("%s: got %r, wanted %r" % (what, got, wanted))

    def folder(name):
        return os.path.join(work, name)

    # This version writes, the one before reads and writes back, this one reads.
    soon, later = when(2)[0], when(3600)
    expect("this version schedules", run_host(new, folder("new-writes"), [
        schedule("-addRepeatingEvent -every 2s", soon, "rep|"), schedule("-addSingleEvent", soon, "single|"),
        schedule("-addRepeatingEvent -every 1d", later[0], "daily|")]), ["result: 4242", "result: 4243", "result: 4244"])
    printed = run_host(before, folder("before-reads"), [
        info("-getTriggerCount"), "wait 6000", info("-getActiveTriggerCount"), info("-byEventID -getYourID|4244")],
        events_from=folder("new-writes"))
    expect("the version before: events, pending after 6 s, the daily one",
           [line for line in printed if line.startswith("result:")], ["result: 3", "result: 1", "result: daily"])
    expect("the version before: starts in 6 s (every 2s fires once)", printed.count("started: Orders\tReport"), 2)
    expect("this version reads what the version before wrote back", run_host(new, folder("new-reads-back"), [
        info("-listEventIDs"), info("-byEventID -getState|4242"), info("-byEventID -getState|4244"),
        info("-byEventID -getEvery|4244"), info("-byEventID -getDueTimestamp|4244")],
        events_from=folder("before-reads")),
        ["result: 4242\\r4243\\r4244", "result: fired", "result: pending", "result: 1d", "result: " + later[1]])

    # The version before writes, this one reads and writes back the same bytes.
    times = [when(1), when(3600), when(7200)]
    expect("the version before schedules and fires", run_host(before, folder("before-writes"), [
        schedule("-addSingleEvent", times[0][0], "a|"),
        schedule("-addSingleEvent -triggerPastEventAfterRestart", times[1][0], "b|"),
        schedule("-addSingleEvent", times[2][0], "c|text"), "wait 3000"]),
        ["result: 4242", "result: 4243", "result: 4244", "started: Orders\tReport"])
    commands, wanted = [info("-listEventIDs")], ["result: 4242\\r4243\\r4244"]
    for event, state, (_, stamp) in zip(("4242", "4243", "4244"), ("fired", "pending", "pending"), times):
        for option, answer in (("-getState", state), ("-getEvery", ""), ("-getDueTimestamp", stamp)):
            commands.append(info("-byEventID %s|%s" % (option, event)))
            wanted.append(("result: " + answer).rstrip(" "))
    expect("this version reads the version before's file",
           run_host(new, folder("new-reads"), commands, events_from=folder("before-writes")), wanted)
    with open(event_file(folder("before-writes")), "rb") as a, open(event_file(folder("new-reads")), "rb") as b:
        expect("the bytes this version writes back", b.read(), a.read())

    for problem in problems:
        print(problem)
    print("event files across versions: %s" % ("FAILED" if problems else "ok, both ways"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
