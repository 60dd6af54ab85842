#!/usr/bin/env python3
"""HTTPS requests of the plug-in against curl, from the TLS front of the
scripted test server (tests/servers/serve.py) on 127.0.0.1: 20 requests of
a 64000-byte answer in one rouser-host run, with the certificate checked,
against one curl process fetching the same 20 URLs. The handshake's share
comes from 20 requests of a 42-byte answer over TLS and over plain TCP in
the same way. The plug-in resumes the TLS session of its last request to
the same name and port; the "_full" figures make every handshake a full
one by asking for localhost and 127.0.0.1 in turn. Each figure is the
median of several rounds, less the time of a rouser-host run that makes no
request.

    tls_bench.py ROUSER_HOST [--rounds N]

Prints one JSON object, in milliseconds.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

COUNT = 20
BIG = 64000
SMALL = 42  # the status line and a Content-Length field: no body


def read_ports(folder, process):
    ready = os.path.join(folder, "servers.txt")
    for _ in range(600):
        if os.path.exists(ready):
            with open(ready) as f:
                return {name: int(port) for name, port in (line.split() for line in f)}
        if process.poll() is not None:
            break
        time.sleep(0.1)
    sys.exit("tls_bench.py: the test servers did not start")


def timed(command, stdin_text, environment):
    start = time.perf_counter()
    done = subprocess.run(command, input=stdin_text.encode(), capture_output=True, env=environment)
    seconds = time.perf_counter() - start
    return seconds * 1000, done.stdout.decode("latin-1"), done.returncode


def host_run(host, port, size, tls, environment, full=False):
    option = "-tls " if tls else ""
    names = ["localhost", "127.0.0.1"] if full else ["localhost"]
    calls = "".join("call Rous-SendRemoteEvent -tcprequest %s-portnumber %d|%s|GET /answer/%d HTTP/1.0\\r\\n"
                    "Host: localhost\\r\\n\\r\\n\n" % (option, port, names[i % len(names)], size)
                    for i in range(COUNT))
    ms, out, status = timed([host], calls + "quit\n", environment)
    answers = [line for line in out.splitlines() if line.startswith("result: ")]
    # rouser-host prints each answer as one line, with escapes for CR and LF.
    good = status == 0 and len(answers) == COUNT and all(a.startswith("result: HTTP/1.0 200 OK") for a in answers)
    if not good:
        sys.exit("tls_bench.py: rouser-host did not answer as expected: %s" % out[:300])
    return ms


def curl_run(port, size, ca):
    url = "https://localhost:%d/answer/%d" % (port, size)
    command = ["curl", "-s", "-S", "--cacert", ca]
    for _ in range(COUNT):
        command += ["-o", os.devnull, url]
    ms, _, status = timed(command, "", None)
    if status != 0:
        sys.exit("tls_bench.py: curl failed")
    return ms


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("host")
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    with tempfile.TemporaryDirectory() as folder:
        servers = subprocess.Popen([sys.executable, os.path.join(root, "tests", "servers", "serve.py"), folder,
                                    "--stop-on-eof", "--max-seconds", "600"], stdin=subprocess.PIPE,
                                   stdout=subprocess.DEVNULL)
        try:
            ports = read_ports(folder, servers)
            ca = os.path.join(folder, "tls", "ca.pem")
            environment = dict(os.environ, SSL_CERT_FILE=ca, ROUSER_PREFS_ROOT=os.path.join(folder, "prefs"))
            figures = {name: [] for name in ("empty", "tls_big", "curl_big", "tls_small", "plain_small",
                                             "plain_big", "tls_big_full", "tls_small_full")}
            for _ in range(args.rounds):
                figures["empty"].append(timed([args.host], "quit\n", environment)[0])
                figures["tls_big"].append(host_run(args.host, ports["tls"], BIG, True, environment))
                figures["plain_big"].append(host_run(args.host, ports["scripted"], BIG, False, environment))
                figures["tls_small"].append(host_run(args.host, ports["tls"], SMALL, True, environment))
                figures["tls_big_full"].append(host_run(args.host, ports["tls"], BIG, True, environment, True))
                figures["tls_small_full"].append(host_run(args.host, ports["tls"], SMALL, True, environment, True))
                figures["plain_small"].append(host_run(args.host, ports["scripted"], SMALL, False, environment))
                figures["curl_big"].append(curl_run(ports["tls"], BIG, ca))
        finally:
            servers.stdin.close()
            servers.wait(timeout=30)
    median = {name: statistics.median(values) for name, values in figures.items()}
    for name in ("tls_big", "plain_big", "tls_small", "plain_small", "tls_big_full", "tls_small_full"):
        median[name] = max(median[name] - median["empty"], 0.0)
    median["count"] = COUNT
    median["rounds"] = args.rounds
    median["ratio"] = median["tls_big"] / median["curl_big"] if median["curl_big"] else 0
    # What TLS adds to a request that moves almost nothing: the handshake
    # and the certificate check, as a share of the whole HTTPS request.
    added = max(median["tls_small"] - median["plain_small"], 0.0)
    median["handshake_share"] = added / median["tls_big"] if median["tls_big"] else 0
    added = max(median["tls_small_full"] - median["plain_small"], 0.0)
    median["handshake_share_full"] = added / median["tls_big_full"] if median["tls_big_full"] else 0
    median["ratio_full"] = median["tls_big_full"] / median["curl_big"] if median["curl_big"] else 0
    print(json.dumps(median, indent=1))


if __name__ == "__main__":
    main()
