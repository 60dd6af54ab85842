#!/usr/bin/env python3
"""Kills rouser-host the hard way and looks at what the next start finds.

Acknowledged: a host schedules events, idles, and is killed with SIGKILL;
the next start must find every event whose ID it answered. Restarts: a
host schedules, deletes and restarts in a loop and is killed at random
moments; every file it leaves must load whole, and nothing may be kept
aside as damaged.

rouser-host, its plug-in and its text library are copied into a folder of
their own first: the event file lives beside the host program.
"""
import argparse
import datetime
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import time

HEADER = b"#Quil v1.0\n"


def fail(message):
    print("crash check: " + message)
    sys.exit(1)


def file_is_whole(data):
    """True when the bytes are a header and whole entries, nothing more."""
    if not data.startswith(HEADER):
        return False
    offset = len(HEADER)
    while offset < len(data):
        if len(data) - offset < 25 or data[offset:offset + 1] != b"*":
            return False
        (length,) = struct.unpack_from("<I", data, offset + 21)
        offset += 30 + length
    return offset == len(data)


class Host:
    def __init__(self, command, folder):
        self.process = subprocess.Popen(command, cwd=folder, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, bufsize=0)

    def send(self, line):
        self.process.stdin.write((line + "\n").encode("latin-1"))
        self.process.stdin.flush()

    def read_line(self, deadline):
        line = b""
        while not line.endswith(b"\n"):
            if time.monotonic() > deadline:
                fail("rouser-host did not answer in time; so far: %r" % line)
            byte = self.process.stdout.read(1)
            if not byte:
                fail("rouser-host ended early; so far: %r" % line)
            line += byte
        return line.decode("latin-1").rstrip("\r\n")

    def result(self, timeout=60):
        deadline = time.monotonic() + timeout
        while True:
            line = self.read_line(deadline)
            if line.startswith("result: "):
                return line[len("result: "):]
            if not line.startswith(("startup: ", "started: ", "log: ", "message box: ")):
                fail("unexpected line from rouser-host: " + line)

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait()

    def quit(self):
        self.send("quit")
        self.process.stdin.close()
        output = self.process.stdout.read().decode("latin-1")
        if self.process.wait(timeout=120) != 0:
            fail("rouser-host exited with %d: %s" % (self.process.returncode, output))


def schedule(host, day, second, own_id):
    host.send("call Rous-ScheduleEvent -addSingleEvent|%d|%d|Orders|Report|%s|text of %s" %
              (day, second, own_id, own_id))
    answer = host.result()
    if not answer.isdigit():
        fail("scheduling answered " + answer)
    return answer


def acknowledged(command, folder, count):
    tomorrow = datetime.date.today().toordinal() + 1
    host = Host(command, folder)
    ids = {schedule(host, tomorrow, 3600 + i, "ack-%d" % i): "ack-%d" % i for i in range(count)}
    # A call after the wait shows that the host has idled for it.
    host.send("wait 1500")
    host.send("call Rous-Version -getversionnumber")
    host.result()
    host.kill()
    host = Host(command, folder)
    host.send("call Rous-GetEventInfo -getTriggerCount")
    found = host.result()
    for event_id, own_id in ids.items():
        host.send("call Rous-GetEventInfo -byEventID -getYourID|" + event_id)
        answer = host.result()
        if answer != own_id:
            fail("event %s came back as %r, not %r" % (event_id, answer, own_id))
    host.quit()
    if found != str(count):
        fail("%s events after the kill, %d acknowledged" % (found, count))
    print("acknowledged: %d of %d events found after SIGKILL" % (count, count))


def restarts(command, folder, rounds, seed):
    rng = random.Random(seed)
    tomorrow = datetime.date.today().toordinal() + 1
    script = []
    for i in range(40):
        script += ["call Rous-ScheduleEvent -addSingleEvent|%d|%d|F|S|r%d|%s" % (tomorrow, i, i, "t" * (i * 37)),
                   "wait %d" % (20 * (i % 5)),
                   "call Rous-DeleteEvent -deleteByID|%d" % (4242 + i * 3), "restart"]
    for n in range(rounds):
        host = Host(command, folder)
        for line in script:
            host.send(line)
        time.sleep(rng.uniform(0.05, 2.0))
        host.kill()
        for name in os.listdir(folder):
            if name.startswith("RousEv") and name.endswith(".Qul"):
                with open(os.path.join(folder, name), "rb") as f:
                    if not file_is_whole(f.read()):
                        fail("round %d left an event file that is not whole" % n)
        host = Host(command, folder)
        host.send("call Rous-GetEventInfo -getTriggerCount")
        if not host.result().isdigit():
            fail("round %d: the count is no number" % n)
        host.quit()
        kept = [name for name in os.listdir(folder) if ".damaged" in name or ".unread" in name]
        if kept:
            fail("round %d: a file was kept aside: %s" % (n, kept))
    print("restarts: %d kills at random moments, every file whole (seed %d)" % (rounds, seed))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, help="the build folder of rouser-host")
    parser.add_argument("--folder", required=True, help="a folder for the copies, made anew")
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--events", type=int, default=50)
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    args = parser.parse_args()
    shutil.rmtree(args.folder, ignore_errors=True)
    os.makedirs(args.folder)
    names = (["rouser-host.exe", "RouserPlugIn.fmx", "FMWrapper.dll"] if args.wine
             else ["rouser-host", "RouserPlugIn.so", "FMWrapper.dll"])
    for name in names:
        shutil.copy2(os.path.join(args.build, name), args.folder)
    os.environ["ROUSER_PREFS_ROOT"] = os.path.join(args.folder, "prefs")
    host = os.path.join(args.folder, names[0])
    command = [os.environ.get("ROUSER_WINE", "wine"), host] if args.wine else [host]
    acknowledged(command, args.folder, args.events)
    restarts(command, args.folder, args.rounds, args.seed)


if __name__ == "__main__":
    main()
