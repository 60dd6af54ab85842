#!/usr/bin/env python3
"""Event files across the version before repeating events and this one.

Builds rouser-host and the plug-in of the version before (the commit given,
by default the last one without repeating events) from git into a folder of
its own, then runs real hosts of both versions on one event file:

  this version writes, the one before reads: every event loads, a repeating
  event fires once as a single event, and what that version writes back
  still reads here, the series that did not fire going on;
  the version before writes, this one reads: the same events with the same
  due times, states and IDs, no interval, and the same bytes written back.
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
    # The commit's files, unpacked: no worktree is registered in the repository.
    source = os.path.join(folder, "src-" + commit)
    if not os.path.isdir(source):
        os.makedirs(source)
        archive = subprocess.run(["git", "-C", root, "archive", commit], check=True, capture_output=True).stdout
        subprocess.run(["tar", "-x", "-C", source], input=archive, check=True)
    build = os.path.join(folder, "build-" + commit)
    subprocess.run(["cmake", "-S", source, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
                    "-DROUSER_TESTS=OFF", "-DROUSER_SANITIZE=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["ninja", "-C", build, "rouser-host", "RouserPlugIn", "hostsim_text_library"], check=True,
                   stdout=subprocess.DEVNULL)
    return build


def fresh_host(build, folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name in HOST_FILES:
        shutil.copy2(os.path.join(build, name), folder)
    return folder


def run_host(folder, commands):
    """Runs the commands; the lines printed for them (results, starts)."""
    done = subprocess.run([os.path.join(folder, "rouser-host"), "--open", "Orders=Report"],
                          input="\n".join(commands + ["quit"]) + "\n", cwd=folder, capture_output=True,
                          text=True, timeout=120, env=dict(os.environ, ROUSER_PREFS_ROOT=os.path.join(folder, "prefs")))
    if done.returncode != 0:
        raise SystemExit("rouser-host in %s: exit %d: %s" % (folder, done.returncode, done.stderr))
    return [line for line in done.stdout.splitlines() if line.startswith(("result:", "started:"))]


def event_file(folder):
    files = glob.glob(os.path.join(folder, "RousEv*.Qul"))
    if len(files) != 1:
        raise SystemExit("%s: %d event files" % (folder, len(files)))
    return files[0]


def move_events(source, target):
    for old in glob.glob(os.path.join(target, "RousEv*.Qul")):
        os.remove(old)
    shutil.copy2(event_file(source), target)


def when(ahead):
    """Date and time fields, and the host's timestamp number, `ahead` seconds on."""
    at = datetime.datetime.now().replace(microsecond=0) + datetime.timedelta(seconds=ahead)
    day = at.date().toordinal()
    seconds = at.hour * 3600 + at.minute * 60 + at.second
    return "%d|%d" % (day, seconds), str((day - 1) * 86400 + seconds)


def expect(what, got, wanted, problems):
    if got != wanted:
        problems.append("%s: got %r, wanted %r" % (what, got, wanted))


def new_to_before(new, before, work, problems):
    writer = fresh_host(new, os.path.join(work, "new-writes"))
    reader = fresh_host(before, os.path.join(work, "before-reads"))
    soon, _ = when(2)
    later, later_stamp = when(3600)
    printed = run_host(writer, [
        "call Rous-ScheduleEvent -addRepeatingEvent -every 2s|%s|Orders|Report|rep|" % soon,
        "call Rous-ScheduleEvent -addSingleEvent|%s|Orders|Report|single|" % soon,
        "call Rous-ScheduleEvent -addRepeatingEvent -every 1d|%s|Orders|Report|daily|" % later,
    ])
    expect("this version schedules", printed, ["result: 4242", "result: 4243", "result: 4244"], problems)
    move_events(writer, reader)
    printed = run_host(reader, [
        "call Rous-GetEventInfo -getTriggerCount",
        "wait 6000",
        "call Rous-GetEventInfo -getActiveTriggerCount",
        "call Rous-GetEventInfo -byEventID -getYourID|4244",
    ])
    starts = [line for line in printed if line.startswith("started:")]
    results = [line for line in printed if line.startswith("result:")]
    expect("the version before: events, pending after 6 s, the daily one", results,
           ["result: 3", "result: 1", "result: daily"], problems)
    expect("the version before: starts in 6 s (every 2s fires once, as a single event)", len(starts), 2, problems)
    # What the version before wrote back reads here: the fired series is
    # fired, the other goes on.
    back = fresh_host(new, os.path.join(work, "new-reads-back"))
    move_events(reader, back)
    printed = run_host(back, [
        "call Rous-GetEventInfo -listEventIDs",
        "call Rous-GetEventInfo -byEventID -getState|4242",
        "call Rous-GetEventInfo -byEventID -getState|4244",
        "call Rous-GetEventInfo -byEventID -getEvery|4244",
        "call Rous-GetEventInfo -byEventID -getDueTimestamp|4244",
    ])
    expect("this version reads the file written back", printed,
           ["result: 4242\\r4243\\r4244", "result: fired", "result: pending", "result: 1d",
            "result: " + later_stamp], problems)


def before_to_new(new, before, work, problems):
    writer = fresh_host(before, os.path.join(work, "before-writes"))
    reader = fresh_host(new, os.path.join(work, "new-reads"))
    soon, soon_stamp = when(1)
    late, late_stamp = when(3600)
    later, later_stamp = when(7200)
    printed = run_host(writer, [
        "call Rous-ScheduleEvent -addSingleEvent|%s|Orders|Report|a|" % soon,
        "call Rous-ScheduleEvent -addSingleEvent -triggerPastEventAfterRestart|%s|Orders|Report|b|" % late,
        "call Rous-ScheduleEvent -addSingleEvent|%s|Orders|Report|c|text" % later,
        "wait 3000",
    ])
    expect("the version before schedules and fires", printed,
           ["result: 4242", "result: 4243", "result: 4244", "started: Orders\tReport"], problems)
    move_events(writer, reader)
    with open(event_file(reader), "rb") as f:
        written_before = f.read()
    commands, wanted = ["call Rous-GetEventInfo -listEventIDs"], ["result: 4242\\r4243\\r4244"]
    for event, state, stamp in (("4242", "fired", soon_stamp), ("4243", "pending", late_stamp),
                                ("4244", "pending", later_stamp)):
        for option, answer in (("-getState", state), ("-getEvery", ""), ("-getDueTimestamp", stamp)):
            commands.append("call Rous-GetEventInfo -byEventID %s|%s" % (option, event))
            wanted.append(("result: " + answer).rstrip(" "))
    printed = [line.rstrip(" ") for line in run_host(reader, commands)]
    expect("this version reads the version before's file", printed, wanted, problems)
    with open(event_file(reader), "rb") as f:
        expect("the bytes this version writes back", f.read(), written_before, problems)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="this version's native build folder")
    parser.add_argument("--folder", required=True, help="work folder, the version before built in it")
    parser.add_argument("--before", default=BEFORE, help="the commit of the version before")
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    work = os.path.abspath(args.folder)
    os.makedirs(work, exist_ok=True)
    before = build_before(root, work, args.before)
    problems = []
    new_to_before(os.path.abspath(args.build), before, work, problems)
    before_to_new(os.path.abspath(args.build), before, work, problems)
    for problem in problems:
        print(problem)
    print("event files across versions: %s" % ("FAILED" if problems else "ok, both ways"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
