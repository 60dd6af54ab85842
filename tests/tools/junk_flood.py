#!/usr/bin/env python3
"""Floods a listening rouser-host with junk datagrams on 127.0.0.1 while a
local event comes due and a valid remote event is sent into the flood; both
scripts must start within one poll interval (40 ticks) of their time.

    junk_flood.py [--rate N] [--slack S] [--sealed] -- HOST_COMMAND...

--rate: junk datagrams a second (default 1000). --slack: seconds allowed
beyond the poll interval for the host's own idle rhythm (default 0.3).
--sealed: the listener takes sealed datagrams only (-sealedOnly), the junk
is forged sealed datagrams (a wrong key check, or the right one copied from
a genuine datagram with the rest made up), and the remote event is a
genuine sealed one that the host sealed before the flood and that never
reached the listener; it must start once.
Prints one line of figures; exit status 0 when both started in time.
"""

import argparse
import datetime
import os
import socket
import subprocess
import sys
import threading
import time

POLL_SECONDS = 40 / 60
KEY = b"flood-key"
JUNK = [
    b"QUIL DATAGRAM 1.0|SCTR|wrong|Orders.fp5|Remote||\0",
    b"QUIL DATAGRAM 1.0|SCTR|Flood-Key|Orders.fp5|Remote||\0",
    b"quil datagram 1.0|SCTR|flood-key|Orders.fp5|Remote||\0",
    b"QUIL DATAGRAM 1.0|SCT|flood-key|Orders.fp5|Remote||\0",
    b"QUIL DATAGRAM 1.0|SCTR|flood-key",
    b"",
    b"\xff" * 300,
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rate", type=int, default=1000)
    parser.add_argument("--slack", type=float, default=0.3)
    parser.add_argument("--sealed", action="store_true")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()

    host = subprocess.Popen(args.command + ["--open", "Orders.fp5=Print,Remote"], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    lines = []  # (time, line)
    arrived = threading.Condition()

    def read():
        for raw in host.stdout:
            with arrived:
                lines.append((time.time(), raw.decode("latin-1").rstrip("\r\n")))
                arrived.notify_all()
        with arrived:
            lines.append((time.time(), None))
            arrived.notify_all()

    threading.Thread(target=read, daemon=True).start()

    def send(command, answer_prefix, seconds=60):
        with arrived:
            seen = len(lines)
        host.stdin.write((command + "\n").encode("latin-1"))
        host.stdin.flush()
        with arrived:
            ok = arrived.wait_for(lambda: any(l is None or l.startswith(answer_prefix) for _, l in lines[seen:]),
                                  timeout=seconds)
            return ok and any(l is not None and l.startswith(answer_prefix) for _, l in lines[seen:])

    def fail(why):
        print("junk_flood: " + why)
        for _, line in lines:
            print("    " + str(line))
        host.kill()
        return 1

    with arrived:
        if not arrived.wait_for(lambda: any(l is not None and l.startswith("startup: ") for _, l in lines), 60):
            return fail("no start-up")
    # The listener takes a port the system chooses; rouser-host says which.
    sealed_only = " -sealedOnly" if args.sealed else ""
    if not send("call Rous-StartListener -portnumber 0%s||%s" % (sealed_only, KEY.decode()), "result: 0"):
        return fail("the listener did not start")
    if not send("udp-ports", "udp-ports:"):
        return fail("no udp-ports answer")
    with arrived:
        reported = [l.split()[1:] for _, l in lines if l is not None and l.startswith("udp-ports:")]
    if not reported or len(reported[-1]) != 1:
        return fail("the listener's port is not known")
    port = int(reported[-1][0])
    junk, valid = JUNK, b"QUIL DATAGRAM 1.0|SCTR|" + KEY + b"|Orders.fp5|Remote||\0"
    if args.sealed:
        # A genuine sealed event, caught here before the listener sees it.
        catcher = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        catcher.bind(("127.0.0.1", 0))
        catcher.settimeout(30)
        if not send("call Rous-SendRemoteEvent -sealed -portnumber %d|127.0.0.1|%s|Orders.fp5|Remote||" %
                    (catcher.getsockname()[1], KEY.decode()), "result: 0"):
            return fail("the sealed event was not sent")
        valid = catcher.recv(65536)
        catcher.close()
        # As long as the genuine one, so that the socket's buffer holds as
        # many as of the plain junk: the largest are for the benchmarks.
        head, check = valid[:8], valid[8:12]
        junk = [head + os.urandom(len(valid) - 8), head + check + os.urandom(len(valid) - 12)]
    # Due at the start of a whole second 3 to 4 s from now, local time.
    due = int(time.time()) + 4
    local = datetime.datetime.fromtimestamp(due)
    day = local.date().toordinal()
    seconds = local.hour * 3600 + local.minute * 60 + local.second
    if not send("call Rous-ScheduleEvent -addSingleEvent|%d|%d|Orders.fp5|Print|local|" % (day, seconds), "result: "):
        return fail("no answer to scheduling")
    host.stdin.write(b"wait 6500\n")
    host.stdin.flush()

    flood = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    start = time.time()
    sent = 0
    valid_at = None
    per_step = max(1, args.rate // 100)
    while time.time() - start < 6.0:
        step = time.time()
        for _ in range(per_step):
            flood.sendto(junk[sent % len(junk)], ("127.0.0.1", port))
            sent += 1
        if valid_at is None and step - start >= 1.5:
            valid_at = time.time()
            flood.sendto(valid, ("127.0.0.1", port))
        pause = 0.01 - (time.time() - step)
        if pause > 0:
            time.sleep(pause)
    rate = sent / (time.time() - start)
    time.sleep(1.0)
    host.stdin.write(b"quit\n")
    host.stdin.flush()
    host.stdin.close()
    host.wait(60)
    time.sleep(0.1)

    starts = {}
    for at, line in lines:
        if line is not None and line.startswith("started: Orders.fp5\t"):
            starts.setdefault(line.split("\t", 1)[1], []).append(at)
    if len(starts.get("Print", [])) != 1 or len(starts.get("Remote", [])) != 1:
        local = ("the local event started %.0f ms after its time" % ((starts["Print"][0] - due) * 1000)
                 if len(starts.get("Print", [])) == 1 else "the local event did not start once")
        return fail("%d junk datagrams a second (%d in all): %s; the remote event started %d times" %
                    (rate, sent, local, len(starts.get("Remote", []))))
    local_late = starts["Print"][0] - due
    remote_late = starts["Remote"][0] - valid_at
    limit = POLL_SECONDS + args.slack
    print("%d %s datagrams a second (%d in all): the local event started %.0f ms after its time, the remote "
          "event %.0f ms after it was sent (limit %.0f ms)" % (rate, "forged sealed" if args.sealed else "junk", sent,
                                                               local_late * 1000, remote_late * 1000, limit * 1000))
    if not (-0.05 <= local_late <= limit and 0 <= remote_late <= limit):
        return fail("too late")
    return 0 if host.returncode == 0 else fail("rouser-host exit status %d" % host.returncode)


if __name__ == "__main__":
    sys.exit(main())
