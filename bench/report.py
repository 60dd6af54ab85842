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


def median(results, prefix):
    """The median of a benchmark run with repetitions, else its one run."""
    single = None
    for b in results["benchmarks"]:
        if not b["name"].startswith(prefix):
            continue
        if b.get("aggregate_name") == "median":
            return b
        if b.get("run_type", "iteration") == "iteration" and single is None:
            single = b
    return single


def ms(b, kind="real_time"):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1000.0}[b["time_unit"]]
    return b[kind] * scale


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


def sealed_rows(out, listen):
    """Sealed datagrams at the listener: accepted against plain, and forged ones."""
    plain, sealed = listen.get("BM_IdlePollTakesDatagramSealed/0"), listen.get("BM_IdlePollTakesDatagramSealed/1")
    wrong, bad = listen.get("BM_IdlePollDiscardsForgedSealed/0"), listen.get("BM_IdlePollDiscardsForgedSealed/1")
    out.append("")
    out.append("Sealed datagrams (`-sealed`, AES-256-GCM through OpenSSL here, BCrypt on Windows): a poll that "
               "takes one valid datagram, plain against sealed (inside a host call, so without the event file's "
               "write, which is the same for both), and the listener's CPU time per forged sealed "
               "datagram of 7030 bytes under `-sealedOnly`, with a wrong key check (dropped without decrypting) "
               "and with the listener's key check copied (decrypted, dropped as `bad seal`). The key's secret "
               "is derived when the listener starts, never per datagram.")
    out.append("")
    out.append("| sealed datagrams | time |")
    out.append("| --- | --- |")
    for label, b in [("a poll that takes one plain datagram (reference)", plain),
                     ("a poll that takes one sealed datagram", sealed),
                     ("a forged sealed datagram with a wrong key check, per datagram", wrong),
                     ("a forged sealed datagram with the right key check, per datagram", bad)]:
        if b is None:
            out.append("| %s | missing |" % label)
        else:
            out.append("| %s | %.2f us |" % (label, 1e6 / b["items_per_second"]))
    send_plain, send_sealed = listen.get("BM_SendRemoteEvent/0"), listen.get("BM_SendRemoteEvent/1")
    if send_plain and send_sealed:
        out.append("")
        out.append("A whole \"Rous-SendRemoteEvent\" call takes %.2f us plain and %.2f us sealed (the key's secret "
                   "derived at the first call and kept)." % (us(send_plain), us(send_sealed)))
    if plain and sealed and send_plain and send_sealed:
        added = (1e6 / sealed["items_per_second"] - 1e6 / plain["items_per_second"] + us(send_sealed) -
                 us(send_plain))
        out.append("")
        out.append("Sealing thus adds %.1f us of processor time to a remote event, sender and listener together: "
                   "%.3f ms against the target of 1 ms." % (added, added / 1000))


def sealed_latency(out, latency):
    """The sealed events' latency beside the plain ones' of the same run."""
    sealed = latency.get("sealed")
    if not sealed or "error" in latency:
        return
    out.append("")
    out.append("Sealed events took turns with the plain ones in the same run: median %.1f ms, 99th percentile "
               "%.1f ms (least %.1f ms, most %.1f ms), against %.1f ms and %.1f ms plain: the medians differ by "
               "%.1f ms. The send times fall at random in the poll's rhythm, so this difference is mostly that "
               "chance; what the seal itself costs the listener is in the idle step's sealed rows." %
               (sealed["median_ms"], sealed["p99_ms"], sealed["min_ms"], sealed["max_ms"], latency["median_ms"],
                latency["p99_ms"], sealed["median_ms"] - latency["median_ms"]))


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
    out.append("## TCP request against libcurl")
    out.append("")
    out.append("`Rous-SendRemoteEvent -tcprequest` against libcurl in the same process, both fetching the same "
               "answers from one small server in the benchmark process on 127.0.0.1 (it answers, ends its "
               "side and closes when the client has). Wall time per request, the median of 5 repetitions. "
               "The plug-in keeps the first 64000 bytes of the 1 MB answer (its buffer) and drains the rest "
               "at the close; libcurl takes all of it. The last column is the whole curl process for one "
               "request, start-up included, for comparison only.")
    out.append("")
    out.append("| answer | plug-in | libcurl | plug-in / libcurl | one curl process a request |")
    out.append("| --- | --- | --- | --- | --- |")
    rawTcp = load(folder, "tcp_request_bench.json")
    for i, label in enumerate(["1 KB", "64 KB", "1 MB (64000 bytes kept)", "chunked, 16 KB in 1 KB chunks"]):
        p = median(rawTcp, "PluginFetch/%d/" % i)
        c = median(rawTcp, "LibcurlFetch/%d/" % i)
        whole = median(rawTcp, "CurlProcessFetch/%d/" % i)
        if p is None or c is None:
            out.append("| %s | missing | missing | | |" % label)
            continue
        out.append("| %s | %.0f us | %.0f us | %.2f | %s |" % (label, us(p), us(c), us(p) / us(c),
                                                             "%.1f ms" % ms(whole) if whole else "missing"))
    out.append("")
    out.append("### One process, many requests")
    out.append("")
    out.append("One rouser-host run making 50 requests (printing each answer escaped, to /dev/null) against one "
               "curl process fetching the same 50 URLs (to /dev/null), per request; medians of 5 runs.")
    out.append("")
    out.append("| answer | rouser-host | curl | rouser-host / curl |")
    out.append("| --- | --- | --- | --- |")
    for i, label in enumerate(["1 KB", "64 KB", "1 MB (64000 bytes kept)", "chunked, 16 KB in 1 KB chunks"]):
        r = median(rawTcp, "RouserHostMany/%d/" % i)
        c = median(rawTcp, "CurlProcessMany/%d/" % i)
        if r is None or c is None:
            out.append("| %s | missing | missing | |" % label)
            continue
        n = r.get("requests", 50)
        out.append("| %s | %.2f ms | %.2f ms | %.2f |" % (label, ms(r) / n, ms(c) / n, ms(r) / ms(c)))
    tls_path = os.path.join(folder, "tls.json")
    if os.path.exists(tls_path):
        tls = load(folder, "tls.json")
        out.append("")
        out.append("## HTTPS request against curl")
        out.append("")
        out.append("`bench/tls_bench.py`: %d requests `-tcprequest -tls` of a 64000-byte answer from the scripted "
                   "server's TLS front (which answers and closes), the certificate checked against the test "
                   "authority, in one run of the native rouser-host (OpenSSL), against one curl process "
                   "fetching the same %d URLs from the same server. Medians of %d rounds, in milliseconds; the "
                   "rouser-host figures less the %.1f ms of a rouser-host run that makes no request." %
                   (tls["count"], tls["count"], tls["rounds"], tls["empty"]))
        out.append("")
        out.append("| %d requests | plug-in | curl process | plug-in / curl |" % tls["count"])
        out.append("| --- | --- | --- | --- |")
        out.append("| 64000 bytes over TLS | %.1f ms | %.1f ms | %.2f |" % (tls["tls_big"], tls["curl_big"],
                                                                          tls["ratio"]))
        out.append("| 64000 bytes over plain TCP | %.1f ms | | |" % tls["plain_big"])
        out.append("| 42 bytes over TLS | %.1f ms | | |" % tls["tls_small"])
        out.append("| 42 bytes over plain TCP | %.1f ms | | |" % tls["plain_small"])
        # The session's resumption (each request but the first resumes the
        # last one's) against full handshakes, in the same run.
        if "tls_big_full" in tls:
            out.append("| 64000 bytes over TLS, every handshake a full one | %.1f ms | %.1f ms | %.2f |" %
                       (tls["tls_big_full"], tls["curl_big"], tls["ratio_full"]))
            out.append("| 42 bytes over TLS, every handshake a full one | %.1f ms | | |" % tls["tls_small_full"])
            out.append("")
            out.append("The handshake and the certificate check (what TLS adds to a request that moves almost "
                       "nothing) make %.0f%% of an HTTPS request of 64000 bytes when each request resumes the "
                       "session of the one before, and %.0f%% when each makes a full handshake (the requests ask "
                       "for localhost and 127.0.0.1 in turn, and a session resumes only for the same name and "
                       "port). curl may resume its TLS session between the URLs of one process too." %
                       (100 * tls["handshake_share"], 100 * tls["handshake_share_full"]))
        else:
            out.append("")
            out.append("The handshake and the certificate check (what TLS adds to a request that moves almost "
                       "nothing) make %.0f%% of an HTTPS request of 64000 bytes. Each request of the plug-in "
                       "makes a full handshake; curl may resume its TLS session between the URLs of one process." %
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
    rows = [("between polls, no listener", listen.get("BM_IdleBetweenPolls/0"), 1),
            ("between polls, a quiet listener (one look at its socket)", listen.get("BM_IdleBetweenPolls/1"), 1),
            ("a poll with nothing waiting", listen.get("BM_IdlePollNothingWaiting"), 1),
            ("a poll that takes one valid datagram, inserts its event and writes the event file behind it", listen.get("BM_IdlePollTakesDatagram"), 200),
            ("a poll that discards junk, per junk datagram", listen.get("BM_IdlePollDiscardsJunk"), 200)]
    for label, b, items in rows:
        if b is None:
            out.append("| %s | missing |" % label)
        else:
            out.append("| %s | %.3f us |" % (label, us(b) / items))
    quiet, none = listen.get("BM_IdleBetweenPolls/1"), listen.get("BM_IdleBetweenPolls/0")
    if quiet and none:
        out.append("")
        out.append("A quiet listener costs %.2f us an idle call more than none (%.0f times the idle call without "
                   "it); at an idle call every 10 ms that is %.4f%% of a core." %
                   (us(quiet) - us(none), us(quiet) / us(none), (us(quiet) - us(none)) / 10000 * 100))
    junkPoll = listen.get("BM_IdlePollDiscardsJunk")
    if junkPoll:
        out.append("")
        out.append("A poll that discards 200 junk datagrams takes %.0f us in all; the bound of 256 a poll thus "
                   "holds one idle call to about %.0f us." % (us(junkPoll), us(junkPoll) / 200 * 256))
    sealed_rows(out, listen)
    out.append("")
    out.append("## Function calls and the preferences")
    out.append("")
    out.append("Every function call reads its parameter from the start, and with it the preferences unless "
               "the key is unchanged since they were last read (its folder's and separator's change times "
               "here; the key's last write time on Windows). System calls counted with strace over 1000 calls.")
    out.append("")
    out.append("| \"Rous-Version\" call | time | system calls |")
    out.append("| --- | --- | --- |")
    sys_ = load(folder, "syscalls.json")
    unchanged, changed = sched.get("BM_VersionCall"), sched.get("BM_VersionCallPrefsChanged")
    out.append("| preferences unchanged | %s | %.1f |" % ("%.2f us" % us(unchanged) if unchanged else "missing",
                                                       sys_["unchanged"]))
    out.append("| the separator written again before each call (reference: all values read) | %s | %.1f |" %
               ("%.2f us" % us(changed) if changed else "missing", sys_["changed"]))
    if unchanged and changed:
        out.append("")
        out.append("With unchanged preferences a call takes %.2f of the time and %.2f of the system calls of one "
                   "that reads them all." % (us(unchanged) / us(changed), sys_["unchanged"] / sys_["changed"]))
    s1000, i1000 = sched.get("BM_Schedule1000Calls"), sched.get("BM_Insert1000")
    if s1000 and i1000:
        out.append("")
        out.append("1000 \"Rous-ScheduleEvent\" calls filling the table (no idle call between them, so no save "
                   "of the event file): %.2f ms of CPU time, against %.2f ms for inserting the same 1000 events "
                   "into the table directly, a ratio of %.1f." %
                   (ms(s1000, "cpu_time"), ms(i1000, "cpu_time"), ms(s1000, "cpu_time") / ms(i1000, "cpu_time")))
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
    refused = sched.get("BM_IdlePollAllStartsRefused")
    out.append("")
    out.append("One idle poll over 1000 due events whose starts the host refuses, each of them refused before "
               "(the poll weighs every event's turn among the failed starts and tries the one refused longest "
               "ago): %s of CPU time (%s wall time)." %
               (("%.1f us" % (ms(refused, "cpu_time") * 1000), "%.1f us" % us(refused)) if refused
                else ("missing", "missing")))
    # The code before the failed starts were indexed cannot run beside it;
    # its figure is the one measured when the index came in.
    out.append("Before the failed starts were indexed by event ID (commit ab9eca1, one linear search of them "
               "per due event), the same poll took 204 us and 248 us of CPU time in two runs on 2026-12-09, "
               "taking turns on one machine with the indexed code, which took 19.2 us and 18.8 us.")
    out.append("")
    save, reference = sched.get("BM_WriteBehindSave1000"), sched.get("BM_ReferenceSafeWrite")
    if save is not None and reference is not None:
        out.append("The save an idle poll makes after a change, of 1000 events with 170-byte texts (a 200,011-byte "
                   "file: temporary file, flush, rename, folder sync): %.0f us, against %.0f us for writing the "
                   "same bytes the same safe way with the system's calls alone, a ratio of %.2f. An idle poll "
                   "with nothing changed writes nothing." % (us(save), us(reference), us(save) / us(reference)))
        out.append("")
    schedule_path = os.path.join(folder, "schedule_bench.json")
    if os.path.exists(schedule_path):
        schedule = load(folder, "schedule_bench.json")
        listed = median(schedule, "BM_ListEventIDs1000")
        single, repeating = median(schedule, "BM_IdlePollNoneDue/0"), median(schedule, "BM_IdlePollNoneDue/1")
        out.append("## The schedule and repeating events")
        out.append("")
        out.append("`bench/schedule_bench.cpp`, CPU time, medians of the repetitions. `Rous-GetEventInfo "
                   "-listEventIDs` over 1000 events (half of them repeating, due times against the table's "
                   "order), the whole function call: %s (the aim: under 2 ms)." %
                   ("missing" if listed is None else "%.1f us" % (ms(listed, "cpu_time") * 1000)))
        out.append("")
        if single is not None and repeating is not None:
            out.append("An idle poll over 1000 pending events none of which is due: %.2f us when all of them "
                       "repeat, %.2f us when all are single events as before, a ratio of %.2f (the aim: at most "
                       "1.2)." % (ms(repeating, "cpu_time") * 1000, ms(single, "cpu_time") * 1000,
                                  ms(repeating, "cpu_time") / ms(single, "cpu_time")))
            out.append("")
    out.append("## Remote events")
    out.append("")
    if "error" in latency:
        out.append("Latency: " + latency["error"])
    else:
        rtt = latency["udp_round_trip_us"]
        out.append("From telling one rouser-host to call \"Rous-SendRemoteEvent\" to the other rouser-host "
                   "starting the script, over 127.0.0.1, %d events sent at random moments: median %.1f ms, "
                   "99th percentile %.1f ms (least %.1f ms, most %.1f ms). A UDP round trip on the same loopback "
                   "in the same run takes %.1f us: the median is %.0f round trips. The listener's socket is "
                   "checked at every idle call (rouser-host idles every 10 ms), and the event fires at the poll after "
                   "the one that took the datagram, one step of the Ticks clock (50 ms) later." %
                   (latency["count"], latency["median_ms"], latency["p99_ms"], latency["min_ms"], latency["max_ms"],
                    rtt, latency["median_ms"] * 1000 / rtt))
    sealed_latency(out, latency)
    out.append("")
    out.append("Junk floods (tests/tools/junk_flood.py, one try each): a rouser-host listening with a key gets "
               "junk datagrams at the rate named while a local event comes due and a valid remote event is "
               "sent into the flood; held means both started within one poll interval (667 ms, plus 100 ms "
               "for the host's idle rhythm). Under a flood the listener polls at every idle call while datagrams "
               "wait and takes up to 256 datagrams a poll, about what the system's default socket buffer "
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
