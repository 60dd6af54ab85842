"""A TCP server that answers each request path with one behaviour that a
stock HTTP server will not show on demand: chunked bodies of every shape,
answers written in pieces with pauses, a connection that never closes, one
that closes without a word, and answers larger than the plug-in's buffer.

The request is read up to its empty line; its first line picks the path.
"""

import socket
import socketserver
import ssl
import threading
import time

ALPHABET = b"abcdefghijklmnopqrstuvwxyz"
HOLD_SECONDS = 60  # longest a connection is kept open for a client
BIG_SIZE = 70000


def chunked(*parts, last_field=b"Transfer-Encoding: chunked\r\n", extra=b""):
    head = b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n" + last_field + extra + b"\r\n"
    return head + b"".join(parts)


def chunk(data, size_text=None):
    size_text = size_text if size_text is not None else b"%x" % len(data)
    return size_text + b"\r\n" + data + b"\r\n"


LAST = b"0\r\n\r\n"

# Answers written in one of three ways ("/pieces/MODE/NAME"): at once, in
# pieces of 7 bytes with pauses, or byte by byte; the client's result must
# not depend on the way. Path: the answer and whether the server closes.
PIECES = {
    "chunked": (chunked(chunk(b"first part"), chunk(ALPHABET * 3), chunk(b"end", b"3;ext=1"), LAST), False),
    "plain": (b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + ALPHABET * 8 + b"\n", True),
}
PIECE_MODES = {"once": (1 << 20, 0), "small": (7, 0.01), "bytes": (1, 0.001)}

# Path: the whole answer, written at once, and whether the server closes
# after it (False: it waits for the client to close).
ANSWERS = {
    "/chunked/basic": (chunked(chunk(b"hello"), chunk(b"abc"), LAST), False),
    "/chunked/extension": (chunked(chunk(ALPHABET, b"1A;name=value"), LAST), False),
    "/chunked/hexcase": (chunked(chunk(ALPHABET, b"1a"), chunk(b"0123456789", b"A"),
                                 chunk(ALPHABET[:15], b"f"), chunk(ALPHABET[:15], b"F"), LAST), False),
    "/chunked/trailers": (chunked(chunk(b"payload"), b"0\r\nX-Checksum: 42\r\nX-Other: yes\r\n\r\n"), False),
    "/chunked/lastfield": (chunked(chunk(b"wxyz"), LAST, last_field=b"Server: scripted\r\n",
                                   extra=b"tRANSFER-eNCODING: Chunked\r\n"), False),
    # A keep-alive server: the close-after text ends the answer inside a
    # chunk, before the last chunk comes.
    "/close-after/chunked": (chunked(chunk(b"<html>hi</html>\n")), False),
    "/chunked/notchunked": (b"HTTP/1.1 200 OK\r\nX-Transfer-Note: chunked\r\nContent-Length: 13\r\n"
                            b"Connection: close\r\n\r\n3\r\nabc\r\n0\r\n\r\n", True),
}


# Answers that the server ends by closing the connection, without
# close_notify over TLS, each as its writes (over TLS one record each): the
# cases of what counts as a whole answer. Over TLS, "/cut/record" also cuts
# its last record in the middle; over TCP it is whole.
ENDINGS = {
    "/cut/length": [b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", b"0123456789"],
    "/cut/chunked": [chunked(chunk(b"hello")), chunk(b"abc")],
    "/cut/header": [b"HTTP/1.1 200 OK\r\nContent-Le"],
    "/cut/record": [b"HTTP/1.0 200 OK\r\n\r\n", b"first record ", b"second record"],
    "/whole/length": [b"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", b"0123456789"],
    "/whole/unframed": [b"HTTP/1.0 200 OK\r\n\r\n", b"until the close"],
    "/whole/chunked": [chunked(chunk(b"hello")), chunk(b"abc") + LAST],
    "/whole/nocontent": [b"HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n"],
}


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.request.settimeout(10)
        if self.server.tls is not None:
            # The same answers over TLS; a client that gives up in the
            # handshake ends the connection here.
            self.request = self.server.tls.wrap_socket(self.request, server_side=True)

    def read_request(self):
        data = b""
        while b"\r\n\r\n" not in data:
            try:
                piece = self.request.recv(4096)
            except OSError:
                break
            if not piece:
                break
            data += piece
        first = data.split(b"\r\n", 1)[0].split()
        return first[1].decode("latin-1") if len(first) >= 2 else ""

    def hold(self):
        """Keeps the connection open until the client closes it."""
        self.request.settimeout(HOLD_SECONDS)
        try:
            while self.request.recv(4096):
                pass
        except ConnectionResetError:
            self.server.count_reset()
        except OSError:
            pass

    def send_in_pieces(self, data, size, pause):
        for at in range(0, len(data), size):
            self.request.sendall(data[at:at + size])
            time.sleep(pause)

    def handle(self):
        with self.server.lock:
            self.server.active += 1
        try:
            self.answer(self.read_request())
        except (ConnectionResetError, BrokenPipeError):
            self.server.count_reset()
        finally:
            with self.server.lock:
                self.server.active -= 1
                self.server.lock.notify_all()

    def answer(self, path):
        with self.server.lock:
            self.server.requests += path != ""
        if path == "/sni":
            # The server name the client asked for in its TLS hello.
            name = getattr(self.request, "asked_name", None)
            self.request.sendall(b"HTTP/1.0 200 OK\r\n\r\n" + (name or "(none)").encode("latin-1"))
            return
        if path == "/resets":
            # Connections that the client ended with a reset, not an
            # orderly close.
            # Once every other connection has ended, however it ends.
            with self.server.lock:
                self.server.queries += 1
                self.server.lock.wait_for(lambda: self.server.active == 1, timeout=HOLD_SECONDS)
                resets = self.server.resets
            self.request.sendall(b"HTTP/1.0 200 OK\r\n\r\n%d" % resets)
            return
        if path == "/resumed":
            # Whether this connection resumed an earlier TLS session.
            self.request.sendall(b"HTTP/1.0 200 OK\r\n\r\n%d" % getattr(self.request, "session_reused", False))
            return
        if path in ENDINGS:
            for piece in ENDINGS[path]:
                self.request.sendall(piece)
            return
        if path in ("/count", "/requests"):
            # Connections, or requests read (over TLS: after a handshake),
            # other than these queries, before this one.
            with self.server.lock:
                self.server.queries += 1
                total = self.server.connections if path == "/count" else self.server.requests
                count = total - self.server.queries
            self.request.sendall(b"HTTP/1.0 200 OK\r\n\r\n%d" % count)
            return
        if path in ANSWERS:
            answer, closes = ANSWERS[path]
            self.request.sendall(answer)
            if not closes:
                self.hold()
        elif path == "/chunked/slow":
            body = chunked(chunk(b"first part"), chunk(b"second"), chunk(ALPHABET, b"1A;x=y"), LAST)
            self.send_in_pieces(body, 7, 0.01)
            self.hold()
        elif path.startswith("/pieces/") and path.count("/") == 3:
            mode, name = path.split("/")[2:]
            if mode in PIECE_MODES and name in PIECES:
                answer, closes = PIECES[name]
                self.send_in_pieces(answer, *PIECE_MODES[mode])
                if not closes:
                    self.hold()
        elif path == "/close-after/trailing":
            # More follows the close-after text, a little later: a client
            # that closes at once, unread data or not, resets the connection.
            self.request.sendall(b"HTTP/1.0 200 OK\r\n\r\n<html>done</html>")
            for more in (b"\r\nmore", b"\r\nand more"):
                time.sleep(0.05)
                self.request.sendall(more)
            self.hold()
        elif path.startswith("/answer/") and path[len("/answer/"):].isdigit():
            # An answer of exactly that many bytes, header included; closes.
            size = int(path[len("/answer/"):])
            head = b""
            for _ in range(2):
                head = b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % max(size - len(head), 0)
            self.request.sendall((head + big_body())[:max(size, len(head))])
        elif path == "/mute":
            # Takes the request and says nothing until the client goes.
            self.hold()
        elif path == "/never-closes":
            self.request.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nnot all yet")
            self.hold()
        elif path == "/close-after":
            # The close-after text arrives in two reads, and more follows it.
            self.request.sendall(b"HTTP/1.0 200 OK\r\n\r\n<html><body>split</bo")
            time.sleep(0.3)
            self.request.sendall(b"dy></html>\r\nafter the end")
            self.hold()
        elif path == "/big":
            head = b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % BIG_SIZE
            self.request.sendall(head + big_body())
            self.hold()
        # "/silent" and anything unknown: close without a word.

    def finish(self):
        pass


def big_body():
    line = b"".join(b"%05d " % i + ALPHABET[: i % 20] + b"\n" for i in range(2000))
    return (line * (BIG_SIZE // len(line) + 1))[:BIG_SIZE]


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, tls=None, handler=None):
        """tls: an ssl.SSLContext to serve through, or None for plain TCP;
        handler: WireHandler for TLS whose bytes the server picks."""
        self.tls = tls
        super().__init__(("127.0.0.1", 0), handler or Handler)
        self.lock = threading.Condition()
        self.connections = 0
        self.requests = 0
        self.queries = 0
        self.resets = 0
        self.active = 0

    def count_reset(self):
        with self.lock:
            self.resets += 1

    def handle_error(self, request, client_address):
        # Failed handshakes are what the TLS tests make on purpose.
        pass

    def process_request(self, request, client_address):
        with self.lock:
            self.connections += 1
        super().process_request(request, client_address)


def tls_context(certificate, key, versions=None, asks_for=None):
    """A server context with this certificate, which notes on each
    connection the name the client asked for (SNI). versions: the lowest
    and highest protocol; asks_for: a CA file, to ask the client for a
    certificate without requiring one."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate, key)
    if versions is not None:
        # An old protocol needs the weakest security level to be offered.
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
        context.minimum_version, context.maximum_version = versions
    if asks_for is not None:
        context.load_verify_locations(asks_for)
        context.verify_mode = ssl.CERT_OPTIONAL

    def note_name(connection, name, _context):
        connection.asked_name = name

    context.sni_callback = note_name
    return context


class WireHandler(socketserver.BaseRequestHandler):
    """TLS through memory BIOs, so that the test decides which encrypted
    bytes reach the wire: each write of ENDINGS is one record, the last one
    of "/cut/record" goes out half, and "/renegotiate" asks the client for
    a new handshake in the middle of its answer."""

    def setup(self):
        self.request.settimeout(10)
        self.incoming, self.outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        self.tls = self.server.tls.wrap_bio(self.incoming, self.outgoing, server_side=True)

    def flush(self, keep=None):
        wire = self.outgoing.read()
        self.request.sendall(wire if keep is None else wire[:keep(len(wire))])

    def pump(self, step):
        """Runs a step of the TLS object until it needs nothing more."""
        while True:
            try:
                result = step()
                self.flush()
                return result
            except ssl.SSLWantReadError:
                self.flush()
                data = self.request.recv(65536)
                if not data:
                    raise ConnectionResetError("the client went")
                self.incoming.write(data)

    def handle(self):
        try:
            self.pump(self.tls.do_handshake)
            request = b""
            while b"\r\n\r\n" not in request:
                request += self.pump(lambda: self.tls.read(65536))
            path = request.split(b"\r\n", 1)[0].split()[1].decode("latin-1")
            if path == "/renegotiate":
                self.renegotiate()
            elif path in ENDINGS:
                pieces = ENDINGS[path]
                for i, piece in enumerate(pieces):
                    self.tls.write(piece)
                    cut = path == "/cut/record" and i == len(pieces) - 1
                    self.flush((lambda n: n // 2) if cut else None)
            elif path == "/whole/notify":
                self.tls.write(b"HTTP/1.0 200 OK\r\n\r\nended with close_notify")
                self.flush()
                try:
                    self.tls.unwrap()
                except ssl.SSLError:
                    pass
                self.flush()
        except (OSError, ssl.SSLError, IndexError):
            pass

    def renegotiate(self):
        """Half the answer, a HelloRequest, the other half; then waits for
        the client to give up. Python has no call for it: OpenSSL's own,
        on the connection behind the TLS object."""
        self.tls.write(b"HTTP/1.0 200 OK\r\nContent-Length: 20\r\n\r\n0123456789")
        self.flush()
        if not start_renegotiation(self.tls):
            return
        try:
            self.tls.do_handshake()
        except ssl.SSLWantReadError:
            pass
        self.flush()
        self.tls.write(b"abcdefghij")
        self.flush()
        self.request.settimeout(HOLD_SECONDS)
        try:
            while self.request.recv(4096):
                pass
        except OSError:
            pass


def start_renegotiation(tls):
    """SSL_renegotiate on the SSL object behind an ssl.SSLObject: its
    pointer follows the object's header and its socket's weak reference."""
    import ctypes
    import ctypes.util
    try:
        libssl = ctypes.CDLL(ctypes.util.find_library("ssl"))
        pointer = ctypes.c_void_p.from_address(id(tls._sslobj) + 3 * ctypes.sizeof(ctypes.c_void_p)).value
        libssl.SSL_version.argtypes = libssl.SSL_renegotiate.argtypes = [ctypes.c_void_p]
        # TLS 1.2 is 0x0303: the pointer is the connection's.
        return libssl.SSL_version(pointer) == 0x0303 and libssl.SSL_renegotiate(pointer) == 1
    except (OSError, AttributeError, ValueError):
        return False
