#!/usr/bin/env python3
"""Writes docs/performance.md from the results scripts/bench collected.

    report.py RESULTS_FOLDER OUTPUT
"""

import json
import os
import platform
import subprocess
import sys
import time


def load(folder, name):
    with open(os.path.join(folder, name)) as f:
        return json.load(f)


def by_name(results):
    return {b["name"]: b for b in results["benchmarks"] if b.get("run_type", "iteration") == "iteration"}


def ms(b):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1000.0}[b["time_unit"]]
    return b["real_time"] * scale


def us(b):
    return ms(b) * 1000


def machine():
    cpu = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    curl = subprocess.run(["curl", "--version"], capture_output=True, text=True).stdout.split("\n")[0]
    return "%s, %d logical CPUs, %s %s, Python %s; %s" % (cpu, os.cpu_count() or 0, platform.system(),
                                                        platform.release(), platform.python_version(), curl)


def main():
    folder, output = sys.argv[1], sys.argv[2]
    tcp = by_name(load(folder, "tcp_request_bench.json"))
    sched = by_name(load(folder, "scheduler_bench.json"))
    listen = by_name(load(folder, "listener_bench.json"))
    latency = load(folder, "latency.json")
    with open(os.path.join(folder, "junk.txt")) as f:
        junk = [line.rstrip("\n").split(" ", 2) for line in f if line.strip()]

    out = []
    out.append("# Performance")
    out.append("")
    out.append("Written by `scripts/bench` on %s. Machine: %s. Release build (g++ -O2 or as CMake's Release "
               "sets it), the plug-in linked into the simulated host; servers and curl on 127.0.0.1. "
               "Other work on the machine shows in these figures; compare figures of one run." %
               (time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), machine()))
    out.append("")
    out.append("## TCP request against curl")
    out.append("")
    out.append("`Rous-SendRemoteEvent -tcprequest` fetching a file from Python's http.server (which answers "
               "and closes), against the whole `curl` process fetching the same file from the same server in "
               "the same run. Mean wall time per request. The plug-in keeps the first 64000 bytes of the "
               "64 KB file (its buffer), curl fetches all 65536.")
    out.append("")
    out.append("| answer | plug-in | curl process | curl's own transfer time | plug-in / curl process |")
    out.append("| --- | --- | --- | --- | --- |")
    for i, label in enumerate(["1 KB", "16 KB", "64000 bytes (of 64 KB)"]):
        p, c = tcp.get("PluginFetch/%d/iterations:50/real_time" % i), tcp.get("CurlFetch/%d/iterations:20/real_time" % i)
        if p is None or c is None:
            out.append("| %s | missing | missing | | |" % label)
            continue
        out.append("| %s | %.2f ms | %.2f ms | %.2f ms | %.2f |" % (label, ms(p), ms(c), c.get("curl_time_total_ms", 0),
                                                                    ms(p) / ms(c)))
    tls_path = os.path.join(folder, "tls.json")
    if os.path.exists(tls_path):
        tls = load(folder, "tls.json")
        out.append("")
        out.append("## HTTPS request against curl")
        out.append("")
        out.append("`bench/tls_bench.py`: %d requests `-tcprequest -tls` of a 64000-byte answer from the scripted "
                   "server's TLS front (which answers and closes), the certificate checked against the test "
                   "authority, in one run of the native rouser-host (OpenSSL), against one curl process "
                   "fetching the same %d URLs from the same server. Medians of %d rounds, in milliseconds; the rouser-host figures less the "
                   "%.1f ms of a rouser-host run that makes no request." %
                   (tls["count"], tls["count"], tls["rounds"], tls["empty"]))
        out.append("")
        out.append("| %d requests | plug-in | curl process | plug-in / curl |" % tls["count"])
        out.append("| --- | --- | --- | --- |")
        out.append("| 64000 bytes over TLS | %.1f ms | %.1f ms | %.2f |" % (tls["tls_big"], tls["curl_big"],
                                                                          tls["ratio"]))
        out.append("| 64000 bytes over plain TCP | %.1f ms | | |" % tls["plain_big"])
        out.append("| 42 bytes over TLS | %.1f ms | | |" % tls["tls_small"])
        out.append("| 42 bytes over plain TCP | %.1f ms | | |" % tls["plain_small"])
        out.append("")
        out.append("The handshake and the certificate check (what TLS adds to a request that moves almost "
                   "nothing) make %.0f%% of an HTTPS request of 64000 bytes. Each request of the plug-in makes a "
                   "full handshake; curl may resume its TLS session between the URLs of one process." %
                   (100 * tls["handshake_share"]))
    silent = tcp.get("SilentServerWait/iterations:2/real_time")
    out.append("")
    out.append("## Waiting on a silent server")
    out.append("")
    if silent:
        out.append("A request to a server that takes the request and never answers, with `-timeoutsecs=3`: it "
                   "ends with $$-4230 after %.0f ms; the host process used %.1f ms of CPU time in that wait, "
                   "%.2f%% of the wall time." % (ms(silent), silent.get("cpu_ms", 0), silent.get("cpu_share_percent", 0)))
    out.append("")
    out.append("## Idle step")
    out.append("")
    out.append("Per idle call, on the simulated clock, with a listener on 127.0.0.1 where one is named.")
    out.append("")
    out.append("| idle call | time |")
    out.append("| --- | --- |")
    rows = [("not due for a poll", sched.get("BM_IdleNotDue"), 1),
            ("a poll with nothing waiting", listen.get("BM_IdlePollNothingWaiting"), 1),
            ("a poll that takes one valid datagram, inserts its event and writes the event file behind it", listen.get("BM_IdlePollTakesDatagram"), 200),
            ("a poll that discards junk, per junk datagram", listen.get("BM_IdlePollDiscardsJunk"), 200)]
    for label, b, items in rows:
        if b is None:
            out.append("| %s | missing |" % label)
        else:
            out.append("| %s | %.3f us |" % (label, us(b) / items))
    junkPoll = listen.get("BM_IdlePollDiscardsJunk")
    if junkPoll:
        out.append("")
        out.append("A poll that discards 200 junk datagrams takes %.0f us in all; the bound of 256 a poll thus "
                   "holds one idle call to about %.0f us." % (us(junkPoll), us(junkPoll) / 200 * 256))
    out.append("")
    out.append("## Event table at 1000 events")
    out.append("")
    out.append("| operation | time |")
    out.append("| --- | --- |")
    for label, name in [("choosing the due event among 1000 (longest path)", "BM_SelectDueAmong1000"),
                        ("insertion and deletion beside 999 events", "BM_InsertAndDelete"),
                        ("a whole \"Rous-ScheduleEvent\" call", "BM_ScheduleEventCall"),
                        ("saving and loading 1000 events (shutdown and start-up)", "BM_SaveAndLoad1000")]:
        b = sched.get(name)
        out.append("| %s | %s |" % (label, "missing" if b is None else "%.2f us" % us(b)))
    out.append("")
    save, reference = sched.get("BM_WriteBehindSave1000"), sched.get("BM_ReferenceSafeWrite")
    if save is not None and reference is not None:
        out.append("The save an idle poll makes after a change, of 1000 events with 170-byte texts (a 200,011-byte "
                   "file: temporary file, flush, rename, folder sync): %.0f us, against %.0f us for writing the "
                   "same bytes the same safe way with the system's calls alone, a ratio of %.2f. An idle poll "
                   "with nothing changed writes nothing." % (us(save), us(reference), us(save) / us(reference)))
        out.append("")
    out.append("## Remote events")
    out.append("")
    if "error" in latency:
        out.append("Latency: " + latency["error"])
    else:
        out.append("From telling one rouser-host to call \"Rous-SendRemoteEvent\" to the other rouser-host "
                   "starting the script, over 127.0.0.1, %d events sent at random moments: median %.0f ms, "
                   "99th percentile %.0f ms (least %.0f ms, most %.0f ms). A quiet listener polls every "
                   "40 ticks (667 ms) and fires the event at the poll after the one that took it." %
                   (latency["count"], latency["median_ms"], latency["p99_ms"], latency["min_ms"], latency["max_ms"]))
    out.append("")
    out.append("Junk floods (tests/tools/junk_flood.py, one try each): a rouser-host listening with a key gets "
               "junk datagrams at the rate named while a local event comes due and a valid remote event is "
               "sent into the flood; held means both started within one poll interval (667 ms, plus 100 ms "
               "for the host's idle rhythm). Under a flood the listener polls at every step of the Ticks clock "
               "(50 ms) and takes up to 256 datagrams a poll, about what the system's default socket buffer "
               "holds: beyond some 5000 junk datagrams a second the system drops datagrams before any poll, "
               "and whether the valid one is among them is chance, so results above that rate differ from "
               "run to run. The local event does not depend on it.")
    out.append("")
    out.append("| junk datagrams a second | result | figures |")
    out.append("| --- | --- | --- |")
    for outcome, rate, text in junk:
        out.append("| %s | %s | %s |" % (rate, outcome, text.replace("|", "/")))
    out.append("")
    with open(output, "w") as f:
        f.write("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
