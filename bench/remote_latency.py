#!/usr/bin/env python3
"""Remote-event latency between two rouser-host processes on 127.0.0.1: from
the moment the sender is told to call "Rous-SendRemoteEvent" to the moment
the listener prints that it started the script. The sends are spread over
the listener's poll interval at random. Beside it, the reference: a UDP
round trip between two sockets of this script on the same loopback.

Plain and sealed events ("-sealed") take turns in the same run, to the same
listener, so that what sealing adds is measured against plain under the
same conditions.

    remote_latency.py ROUSER_HOST [--count N]

Prints one JSON object: the plain events' latencies in milliseconds, median
and p99, the round trip's median in microseconds, and under "sealed" the
same figures of the sealed events.
"""

import argparse
import json
import random
import socket
import statistics
import subprocess
import sys
import threading
import time


def udp_round_trip_us(count=2000):
    """Median of `count` round trips: a datagram to an echoing socket and back."""
    echo = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    echo.bind(("127.0.0.1", 0))
    client = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    client.bind(("127.0.0.1", 0))

    def answer():
        for _ in range(count):
            data, sender = echo.recvfrom(64)
            echo.sendto(data, sender)

    thread = threading.Thread(target=answer, daemon=True)
    thread.start()
    times = []
    for _ in range(count):
        sent = time.perf_counter()
        client.sendto(b"QUIL DATAGRAM 1.0|SCTR|bench|Contacts|Report||", echo.getsockname())
        client.recvfrom(64)
        times.append((time.perf_counter() - sent) * 1e6)
    thread.join()
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("host")
    parser.add_argument("--count", type=int, default=60)
    args = parser.parse_args()

    listener = subprocess.Popen([args.host, "--open", "Contacts=Report"], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    sender = subprocess.Popen([args.host], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    starts = []
    started = threading.Condition()

    ports = []

    def read():
        for line in listener.stdout:
            if line.startswith(b"udp-ports: "):
                with started:
                    ports.append(int(line.split()[1]))
                    started.notify_all()
            if line.startswith(b"started: "):
                with started:
                    starts.append(time.monotonic())
                    started.notify_all()

    threading.Thread(target=read, daemon=True).start()
    threading.Thread(target=lambda: [None for _ in sender.stdout], daemon=True).start()
    # The listener takes a port the system chooses; rouser-host says which.
    listener.stdin.write(b"call Rous-StartListener -portnumber 0||bench\nudp-ports\nwait 3600000\n")
    listener.stdin.flush()
    with started:
        if not started.wait_for(lambda: ports, 30):
            sys.exit("remote_latency: the listener did not report its port")
    port = ports[0]
    time.sleep(1.5)

    def one(options):
        with started:
            seen = len(starts)
        sent = time.monotonic()
        sender.stdin.write(b"call Rous-SendRemoteEvent -portnumber %d %s|127.0.0.1|bench|Contacts|Report||\n" %
                           (port, options))
        sender.stdin.flush()
        with started:
            if not started.wait_for(lambda: len(starts) > seen, timeout=10):
                return None
            return (starts[seen] - sent) * 1000

    # The sender derives the key's secret at its first sealed send, once.
    if one(b"-sealed") is None:
        print(json.dumps({"error": "a sealed remote event did not start within 10 s"}))
        return 1
    latencies, sealed = [], []
    for i in range(2 * args.count):
        latency = one(b"-sealed" if i % 2 else b"")
        if latency is None:
            print(json.dumps({"error": "a remote event did not start within 10 s"}))
            return 1
        (sealed if i % 2 else latencies).append(latency)
        time.sleep(random.uniform(0, 0.7))

    for process in (sender, listener):
        process.kill()
        process.wait()
    round_trip = udp_round_trip_us()
    result = figures(latencies)
    result["udp_round_trip_us"] = round_trip
    result["sealed"] = figures(sealed)
    print(json.dumps(result))
    return 0


def figures(latencies):
    latencies = sorted(latencies)
    p99 = latencies[min(len(latencies) - 1, int(round(0.99 * (len(latencies) - 1))))]
    return {"count": len(latencies), "median_ms": statistics.median(latencies), "p99_ms": p99,
            "min_ms": latencies[0], "max_ms": latencies[-1]}


if __name__ == "__main__":
    sys.exit(main())
