#!/usr/bin/env python3
"""Runs the examples of the documentation in rouser-host and compares.

An example is a fenced block of kind `rouser`: rouser-host commands, each followed
by the lines rouser-host prints for it (`result: ...`, `started: ...`).
Every block runs in a rouser-host of its own, copied into a fresh folder
with fresh preferences, so event IDs start at 4242. In commands:

  {today}     today's day number, what GetAsNumber ( Get ( CurrentDate ) ) gives
  {now+N}     the second of the day N seconds from now
  {udp-port}  a free UDP port, {tcp-port} a loopback server's port (below)
  {tls-port}  the same server over TLS, its certificate (for 127.0.0.1 and
              localhost) from a test authority; {tls-self-port} the same
              with a self-signed certificate

and in printed lines `<any>`, `<number>`, `<address>` and `<tab>` match any
text, a whole number, a dotted IPv4 address and a tab. The TCP server on 127.0.0.1 answers
GET /hello with a 5-byte body, /chunked with a chunked one, /slow with a
body in three pieces a tenth of a second apart, and closes.

The test authority is trusted only by the examples' rouser-host: natively
through SSL_CERT_FILE. The Windows module trusts only the system's roots,
so under Wine a block with the line `# trusts the test authority` is not
run, and the count says so.
"""
import argparse
import datetime
import os
import re
import shutil
import socket
import ssl
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "servers"))
import serve as test_servers  # noqa: E402

TRUSTS_TEST_AUTHORITY = "# trusts the test authority"

ANSWERS = {
    "/hello": [b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello"],
    "/chunked": [b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n"],
    "/slow": [b"HTTP/1.1 200 OK\r\n\r\n", b"one ", b"two ", b"three"],
}


def serve(listener, tls=None):
    while True:
        connection, _ = listener.accept()
        try:
            answer(connection, tls)
        except (OSError, ssl.SSLError):
            pass  # a client that gave up, in the handshake or after it
        finally:
            connection.close()


def answer(connection, tls):
    connection.settimeout(30)
    if tls is not None:
        connection = tls.wrap_socket(connection, server_side=True)
    request = b""
    while b"\r\n\r\n" not in request:
        data = connection.recv(4096)
        if not data:
            break
        request += data
    words = request.split(b" ")
    path = words[1].decode("latin-1") if len(words) > 1 else ""
    for piece in ANSWERS.get(path, [b"HTTP/1.1 404 Not Found\r\n\r\n"]):
        connection.sendall(piece)
        time.sleep(0.1 if path == "/slow" else 0)
    connection.close()


def blocks(path):
    """(line number, lines) of every example block."""
    found, current, start = [], None, 0
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if current is None and line.strip() == "```rouser":
                current, start = [], number
            elif current is not None and line.startswith("```"):
                found.append((start, current))
                current = None
            elif current is not None:
                current.append(line)
    return found


def fill(command, ports):
    now = datetime.datetime.now()
    seconds = now.hour * 3600 + now.minute * 60 + now.second
    command = command.replace("{today}", str(now.date().toordinal()))
    command = re.sub(r"\{now\+(\d+)\}", lambda m: str(seconds + int(m.group(1))), command)
    for name, port in ports.items():
        command = command.replace("{%s}" % name, str(port))
    return command


def pattern(line):
    parts = re.split(r"(<any>|<number>|<address>|<tab>)", line)
    regex = {"<any>": ".*", "<number>": "-?[0-9]+", "<address>": r"[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+",
             "<tab>": "\t"}
    return re.compile("".join(regex.get(p, re.escape(p)) for p in parts) + r"\Z")


def run_block(lines, args, ports, folder):
    options, commands, expected = [], [], []
    for line in lines:
        if line.startswith("# rouser-host "):
            options = line[len("# rouser-host "):].split()
        elif line.startswith(("result: ", "started: ")) or line in ("result:", "started:"):
            expected.append(line.rstrip(" "))
        elif line.strip() and not line.startswith("#"):
            commands.append(line)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    names = (["rouser-host.exe", "RouserPlugIn.fmx", "FMWrapper.dll"] if args.wine
             else ["rouser-host", "RouserPlugIn.so", "FMWrapper.dll"])
    for name in names:
        shutil.copy2(os.path.join(args.build, name), folder)
    host = os.path.join(folder, names[0])
    command = [os.environ.get("ROUSER_WINE", "wine"), host] if args.wine else [host]
    environment = dict(os.environ, ROUSER_PREFS_ROOT=os.path.join(folder, "prefs"),
                       SSL_CERT_FILE=os.path.join(os.path.abspath(args.folder), "tls", "ca.pem"))
    # The commands go in one by one: {udp-port} is the port the first
    # listener of the example reports after it started on port 0, which the
    # system chose free.
    errors = open(os.path.join(folder, "stderr.txt"), "w+b")
    done = subprocess.Popen(command + options, cwd=folder, env=environment, stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=errors)
    timer = threading.Timer(120, done.kill)
    timer.start()
    output = []
    udp_port = None
    try:
        # {now+N} counts from when the host is up: Wine may take seconds
        # to start it, and an event planned before that would be late.
        for raw in iter(done.stdout.readline, b""):
            output.append(raw.decode("latin-1").rstrip("\r\n"))
            if output[-1].startswith("startup:"):
                break
        for line in commands:
            listens = line.startswith("call Rous-StartListener ") and "{udp-port}" in line
            if listens and udp_port is None:
                line = line.replace("{udp-port}", "0")
            line = fill(line, dict(ports, **({"udp-port": udp_port} if udp_port else {})))
            done.stdin.write((line + "\n").encode("latin-1"))
            if listens and udp_port is None:
                done.stdin.write(b"udp-ports\n")
                done.stdin.flush()
                for raw in iter(done.stdout.readline, b""):
                    text = raw.decode("latin-1").rstrip("\r\n")
                    output.append(text)
                    if text.startswith("udp-ports:"):
                        udp_port = text.split()[1] if len(text.split()) == 2 else "0"
                        break
        done.stdin.close()
        output.extend(raw.decode("latin-1").rstrip("\r\n") for raw in done.stdout)
    except (BrokenPipeError, OSError):
        pass
    returncode = done.wait()
    timer.cancel()
    errors.seek(0)
    stderr = errors.read().decode("latin-1").strip()
    errors.close()
    printed = [line.rstrip("\r ") for line in output if line.startswith(("result:", "started:"))]
    problems = []
    if returncode != 0:
        problems.append("exit status %d: %s" % (returncode, stderr))
    if len(printed) != len(expected) or not all(pattern(e).match(p) for e, p in zip(expected, printed)):
        problems.append("expected:\n    " + "\n    ".join(expected) + "\n  printed:\n    " + "\n    ".join(printed))
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--every", type=int, default=1, help="run only every N-th example")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    certificates = os.path.join(os.path.abspath(args.folder), "tls")
    test_servers.make_certificates(certificates)
    ports = {}
    for name, certificate in (("tcp-port", None), ("tls-port", "tls"), ("tls-self-port", "tls-self")):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(8)
        tls = None
        if certificate is not None:
            tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            tls.load_cert_chain(os.path.join(certificates, certificate + ".pem"),
                                os.path.join(certificates, certificate + ".key"))
        threading.Thread(target=serve, args=(listener, tls), daemon=True).start()
        ports[name] = listener.getsockname()[1]
    ran = failed = skipped = 0
    for path in args.files:
        for index, (line, lines) in enumerate(blocks(path)):
            if index % args.every != 0:
                continue
            if args.wine and TRUSTS_TEST_AUTHORITY in lines:
                skipped += 1
                continue
            ran += 1
            problems = run_block(lines, args, ports, os.path.join(args.folder, "example"))
            if problems:
                failed += 1
                print("%s:%d: %s" % (path, line, "\n  ".join(problems)))
    print("%d examples run, %d failed%s" % (ran, failed, ", %d left out (they trust the test authority)" % skipped
                                            if skipped else ""))
    sys.exit(1 if failed or ran == 0 else 0)


if __name__ == "__main__":
    main()
