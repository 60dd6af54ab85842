#!/usr/bin/env python3
"""Starts the loopback servers that the TCP request tests and the benchmark
talk to, records what curl receives from them, and says where they listen.

    serve.py FOLDER [--stop-on-eof] [--max-seconds N]

FOLDER/www/              files that Python's http.server serves (HTTP/1.0:
                         it answers and closes)
FOLDER/curl/NAME.raw     what `curl --raw` received for case NAME
FOLDER/curl/NAME.body    the body curl decoded for it
FOLDER/tls/              the test certificates, made by openssl at start:
                         ca.pem and ca.der, the test authority that only
                         the tests trust
FOLDER/servers.txt       lines "plain PORT", "scripted PORT", "refused
                         PORT" (a bound port nobody listens on), and a
                         TLS front of the scripted server for each of
                         the certificates: "tls PORT" (the test authority's,
                         for 127.0.0.1 and localhost), "tls-other PORT"
                         (another name), "tls-expired PORT", "tls-self
                         PORT" (self-signed), "tls-cn PORT" (a Common Name
                         alone), "tls-wild PORT" (wildcards); with the
                         "tls" certificate "wire12 PORT" and "wire13 PORT"
                         (TLS 1.2 or 1.3 whose bytes the server picks),
                         "tls11 PORT" (TLS 1.1 alone), "tls-asks PORT"
                         (asks for a client certificate); written last, so
                         that its presence means ready

Everything listens on 127.0.0.1 only. The servers run until SIGTERM or
SIGINT, with --stop-on-eof also until standard input ends (so that a test
program that started them takes them along when it exits), and never longer
than --max-seconds (default 7200).
"""

import argparse
import functools
import http.server
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import warnings

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scripted  # noqa: E402

# Fixed, so that two fetches of one file are equal byte for byte.
FIXED_DATE = "Mon, 01 Jan 2024 00:00:00 GMT"

SIZES = {"1k.txt": 1024, "16k.txt": 16 * 1024, "64k.txt": 64 * 1024}

# Case name: (server, path). curl's view of each is recorded at start.
REFERENCES = {
    "hello": ("plain", "/hello.txt"),
    "1k": ("plain", "/1k.txt"),
    "chunked-basic": ("scripted", "/chunked/basic"),
    "chunked-extension": ("scripted", "/chunked/extension"),
    "chunked-hexcase": ("scripted", "/chunked/hexcase"),
    "chunked-trailers": ("scripted", "/chunked/trailers"),
    "chunked-lastfield": ("scripted", "/chunked/lastfield"),
    "chunked-notchunked": ("scripted", "/chunked/notchunked"),
    "chunked-slow": ("scripted", "/chunked/slow"),
    "big": ("scripted", "/big"),
    "pieces-chunked": ("scripted", "/pieces/once/chunked"),
    "pieces-plain": ("scripted", "/pieces/once/plain"),
}


class PlainHandler(http.server.SimpleHTTPRequestHandler):
    def date_time_string(self, timestamp=None):
        return FIXED_DATE

    def log_message(self, format, *args):
        pass


class PlainServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def text_of_size(size):
    line = b"The quick brown fox jumps over the lazy dog 0123456789.\n"
    return (line * (size // len(line) + 1))[:size]


def make_files(www):
    os.makedirs(www, exist_ok=True)
    files = {"hello.txt": b"Hello from http.server\n"}
    files.update({name: text_of_size(size) for name, size in SIZES.items()})
    for name, data in files.items():
        with open(os.path.join(www, name), "wb") as out:
            out.write(data)


# The TLS fronts: the names their certificates are for (None: self-signed)
# and the days they are valid (-1: expired yesterday).
CERTIFICATES = {
    "tls": ("DNS:localhost,IP:127.0.0.1", 3650, True),
    "tls-other": ("DNS:other.example", 3650, True),
    "tls-expired": ("DNS:localhost,IP:127.0.0.1", -1, True),
    "tls-self": ("DNS:localhost,IP:127.0.0.1", 3650, False),
    # A Common Name and no alternative names at all.
    "tls-cn": ("CN:foo.example.com", 3650, True),
    "tls-wild": ("DNS:f*.example.com,DNS:*.wild.example.com", 3650, True),
}

# More fronts with the "tls" certificate: name: (handler, lowest and highest
# protocol, whether the server asks for a client certificate).
TLS = ssl.TLSVersion
FRONTS = {
    "wire12": (scripted.WireHandler, (TLS.TLSv1_2, TLS.TLSv1_2), False),
    "wire13": (scripted.WireHandler, (TLS.TLSv1_3, TLS.TLSv1_3), False),
    "tls11": (scripted.Handler, (TLS.TLSv1_1, TLS.TLSv1_1), False),
    "tls-asks": (scripted.Handler, None, True),
}


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_certificates(folder):
    """The test authority and one certificate (NAME.pem, NAME.key) per front."""
    os.makedirs(folder, exist_ok=True)
    key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    openssl("req", "-x509", *key, "-keyout", "ca.key", "-out", "ca.pem", "-days", "3650",
            "-subj", "/CN=Rouser Test CA", "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    openssl("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der", cwd=folder)
    for name, (names, days, signed) in CERTIFICATES.items():
        common = names.split(",")[0].split(":")[1]
        extensions = os.path.join(folder, name + ".ext")
        with open(extensions, "w") as out:
            if not names.startswith("CN:"):
                out.write("subjectAltName=%s\n" % names)
            out.write("extendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n")
        if not signed:
            openssl("req", "-x509", *key, "-keyout", name + ".key", "-out", name + ".pem", "-days", str(days),
                    "-subj", "/CN=" + common, "-addext", "subjectAltName=" + names, cwd=folder)
            continue
        openssl("req", "-new", *key, "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + common,
                cwd=folder)
        openssl("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                "-days", str(days), "-extfile", name + ".ext", "-out", name + ".pem", cwd=folder)


def record_references(folder, ports):
    out = os.path.join(folder, "curl")
    os.makedirs(out, exist_ok=True)
    for name, (server, path) in REFERENCES.items():
        url = "http://127.0.0.1:%d%s" % (ports[server], path)
        # -i: the status line and header fields as received, before the body.
        for kind, extra in (("raw", ["--raw", "-i"]), ("body", [])):
            target = os.path.join(out, "%s.%s" % (name, kind))
            subprocess.run(["curl", "-s", "-S", "--max-time", "30", *extra, "-o", target, url], check=True)


def start(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--stop-on-eof", action="store_true")
    parser.add_argument("--max-seconds", type=float, default=7200)
    args = parser.parse_args()

    folder = os.path.abspath(args.folder)
    ready = os.path.join(folder, "servers.txt")
    os.makedirs(folder, exist_ok=True)
    if os.path.exists(ready):
        os.remove(ready)
    www = os.path.join(folder, "www")
    make_files(www)

    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    if args.stop_on_eof:
        threading.Thread(target=lambda: (sys.stdin.read(), done.set()), daemon=True).start()

    certificates = os.path.join(folder, "tls")
    try:
        make_certificates(certificates)
    except (OSError, subprocess.CalledProcessError) as error:
        print("serve.py: openssl could not make the test certificates: %s %s" %
              (error, getattr(error, "stderr", b"").decode(errors="replace")), file=sys.stderr)
        return 2
    plain = PlainServer(("127.0.0.1", 0), functools.partial(PlainHandler, directory=www))
    custom = scripted.Server()
    fronts = {name: scripted.Server(scripted.tls_context(os.path.join(certificates, name + ".pem"),
                                                         os.path.join(certificates, name + ".key")))
              for name in CERTIFICATES}
    tls = os.path.join(certificates, "tls")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)  # TLS 1.1, on purpose
        fronts.update({name: scripted.Server(scripted.tls_context(
            tls + ".pem", tls + ".key", versions,
            os.path.join(certificates, "ca.pem") if asks else None), handler)
            for name, (handler, versions, asks) in FRONTS.items()})
    refused = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    refused.bind(("127.0.0.1", 0))
    ports = {"plain": plain.server_address[1], "scripted": custom.server_address[1],
             "refused": refused.getsockname()[1]}
    ports.update({name: front.server_address[1] for name, front in fronts.items()})
    for server in [plain, custom, *fronts.values()]:
        start(server)
    try:
        record_references(folder, ports)
    except (OSError, subprocess.CalledProcessError) as error:
        print("serve.py: curl could not record the references: %s" % error, file=sys.stderr)
        return 2

    with open(ready + ".new", "w") as out:
        for name, port in ports.items():
            out.write("%s %d\n" % (name, port))
    os.replace(ready + ".new", ready)
    print("ready " + " ".join("%s=%d" % item for item in ports.items()), flush=True)

    done.wait(args.max_seconds)
    for server in [plain, custom, *fronts.values()]:
        server.shutdown()
    refused.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
