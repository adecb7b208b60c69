#!/usr/bin/env python3
"""End-to-end tests of serve-book: the viewer's HTTP server, running under Wine, serving the
fixture book of make_serve_book to clients on the Linux side.

    serve_book_test.py --wine WINE --serve-book EXE --maker EXE --curl CURL --chromium CHROMIUM
                       [--blocking] [unittest arguments]

With --blocking every serve-book runs its server on blocking sockets.

The fixture book is made under Wine into a temporary folder. Each test class runs its own
serve-book process: it starts, prints "LISTENING <port>", and at the end of the class its
standard input is closed and it must exit with code 0 within a few seconds.

The clients speak raw HTTP over sockets where the exact bytes matter, http.client where many
clients fetch at once, and curl and a headless chromium as outside clients.
"""
import argparse
import array
import email.utils
import http.client
import os
import random
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

ARGS = None
SOCKET_ARGS = ()   # ("--blocking",) when the server runs on blocking sockets
BOOK = None
TEMP_DIR = None

START_SECONDS = 60   # a first Wine start in a cold prefix is slow
STOP_SECONDS = 10
SOCKET_SECONDS = 30

NOT_FOUND_STATUS = "404 File not found"
NOT_FOUND_BODY = b"Status 404: File not found"
BAD_REQUEST_STATUS = "400 Bad Request"
BAD_REQUEST_BODY = b"Status 400: Bad Request"

# ---- the fixture book, as make_serve_book writes it ------------------------------------------

BIG_SEED = 0x2545F491
BIG_BYTES = 10 * 1024 * 1024
STYLE_CSS = b".lead { color: rgb(12, 34, 56); letter-spacing: 3px; }\n"
BOM_HTML = b"\xEF\xBB\xBF<html><body><p>Gr\xC3\xBC\xC3\x9Fe</p></body></html>\n"
NAMED_HTML = b"<html><body><p>caf\xC3\xA9 men\xC3\xBC</p></body></html>\n"
NAMED_URL = "/pages/caf%C3%A9%20men%C3%BC.html"  # entry "pages\café menü.html"


def page_2k():
    head, tail = b"<!DOCTYPE html><html><body><p>", b"</p></body></html>\n"
    digits = b"0123456789abcdef" * (2048 // 16)
    return head + digits[: 2048 - len(head) - len(tail)] + tail


def big_data():
    """10 MiB of xorshift32 words from BIG_SEED, little-endian."""
    words = array.array("I", bytes(BIG_BYTES))
    assert words.itemsize == 4
    x = BIG_SEED
    for i in range(len(words)):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        words[i] = x
    if sys.byteorder != "little":
        words.byteswap()
    return words.tobytes()


PAGE_2K = page_2k()
BIG = None  # made once, in setUpModule


def setUpModule():
    global BOOK, TEMP_DIR, BIG
    TEMP_DIR = tempfile.mkdtemp(prefix="serve-book-e2e-")
    BOOK = os.path.join(TEMP_DIR, "fixture.lbk")
    made = subprocess.run([ARGS.wine, ARGS.maker, BOOK], stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=START_SECONDS)
    if made.returncode != 0 or not os.path.isfile(BOOK):
        raise RuntimeError("make_serve_book failed (%d): %r" % (made.returncode, made.stderr))
    BIG = big_data()


def tearDownModule():
    if TEMP_DIR:
        shutil.rmtree(TEMP_DIR, ignore_errors=True)


# ---- the server process ------------------------------------------------------------------------

def free_port():
    """A port no one listens on now (the system picks it; serve-book binds it a moment later)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class ServeBook:
    """One serve-book process under Wine. Its output is collected by threads, so that a full
    pipe never blocks it."""

    def __init__(self, *args):
        self.proc = subprocess.Popen([ARGS.wine, ARGS.serve_book, *SOCKET_ARGS, *args], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.stdout = bytearray()
        self.stderr = bytearray()
        self.first_line = threading.Event()
        self.readers = [threading.Thread(target=self._collect, args=(self.proc.stdout, self.stdout), daemon=True),
                        threading.Thread(target=self._collect, args=(self.proc.stderr, self.stderr), daemon=True)]
        for r in self.readers:
            r.start()

    def _collect(self, pipe, into):
        for line in iter(pipe.readline, b""):
            into += line
            if pipe is self.proc.stdout:
                self.first_line.set()
        self.first_line.set()

    def wait_listening(self):
        """The port of the one line "LISTENING <port>"; fails the test otherwise."""
        if not self.first_line.wait(START_SECONDS):
            raise AssertionError("serve-book printed nothing within %d s" % START_SECONDS)
        m = re.fullmatch(rb"LISTENING (\d+)\r?\n", bytes(self.stdout))
        if not m:
            self.proc.kill()
            raise AssertionError("serve-book said %r, stderr %r" % (bytes(self.stdout), bytes(self.stderr)))
        return int(m.group(1))

    def stop(self):
        """Closes standard input; the exit code within STOP_SECONDS (None: still running)."""
        self.proc.stdin.close()
        try:
            code = self.proc.wait(STOP_SECONDS)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            code = None
        for r in self.readers:
            r.join(STOP_SECONDS)
        self.proc.stdout.close()
        self.proc.stderr.close()
        return code


def run_serve_book(*args):
    """serve-book started for a quick exit: (exit code, stdout, stderr)."""
    done = subprocess.run([ARGS.wine, ARGS.serve_book, *SOCKET_ARGS, *args], stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=START_SECONDS)
    return done.returncode, done.stdout, done.stderr


class ServerTestCase(unittest.TestCase):
    """A test class with a serve-book of its own, on a free port."""
    server_args = ()

    @classmethod
    def setUpClass(cls):
        cls.server = ServeBook(*cls.server_args, BOOK, str(free_port()))
        cls.port = cls.server.wait_listening()

    @classmethod
    def tearDownClass(cls):
        code = cls.server.stop()
        if code != 0 or cls.server.stdout.count(b"\n") != 1:
            raise AssertionError("serve-book ended with %r after its input closed; stdout %r, stderr %r"
                                 % (code, bytes(cls.server.stdout), bytes(cls.server.stderr)))

    def connect(self, receive_buffer=None):
        s = socket.socket()
        if receive_buffer:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        s.settimeout(SOCKET_SECONDS)
        s.connect(("127.0.0.1", self.port))
        self.addCleanup(s.close)
        return s

    def get(self, path, version="HTTP/1.1", host=None):
        return "GET %s %s\r\nHost: %s\r\n\r\n" % (path, version, host or "127.0.0.1:%d" % self.port)


# ---- reading answers ---------------------------------------------------------------------------

class Response:
    def __init__(self, status, headers, body):
        self.status = status      # "HTTP/1.1 200 OK"
        self.headers = headers    # [(name, value)] in the order sent, names as sent
        self.body = body


class Reader:
    """Reads HTTP answers off one socket, in order."""

    def __init__(self, sock, piece=65536):
        self.sock = sock
        self.piece = piece
        self.buf = bytearray()

    def _fill(self):
        data = self.sock.recv(self.piece)
        if not data:
            raise EOFError("the server closed the connection")
        self.buf += data

    def response(self):
        while (end := self.buf.find(b"\r\n\r\n")) < 0:
            self._fill()
        head = bytes(self.buf[:end]).decode("latin-1").split("\r\n")
        del self.buf[: end + 4]
        headers = [tuple(line.split(": ", 1)) for line in head[1:]]
        lengths = [v for n, v in headers if n.upper() == "CONTENT-LENGTH"]
        if len(lengths) != 1:
            raise AssertionError("no single Content-Length in %r" % head)
        length = int(lengths[0])
        while len(self.buf) < length:
            self._fill()
        body = bytes(self.buf[:length])
        del self.buf[:length]
        return Response(head[0], headers, body)

    def head(self):
        """The status line and fields of an answer that has no body (the answer to HEAD)."""
        while (end := self.buf.find(b"\r\n\r\n")) < 0:
            self._fill()
        head = bytes(self.buf[:end]).decode("latin-1").split("\r\n")
        del self.buf[: end + 4]
        return Response(head[0], [tuple(line.split(": ", 1)) for line in head[1:]], b"")

    def closed(self):
        """True when the server closed the connection with nothing more to read."""
        if self.buf:
            return False
        try:
            return self.sock.recv(1) == b""
        except ConnectionResetError:
            return True


def send_all(sock, data):
    """Sends data; the server may close before it has read everything (an answer waits then)."""
    try:
        sock.sendall(data)
    except (BrokenPipeError, ConnectionResetError):
        pass


# ---- the tests -----------------------------------------------------------------------------------

class Answers(ServerTestCase):
    """What one request is answered, byte for byte."""

    def served_headers(self, response, content_type, length):
        """The header block of a served entry: names, values and order."""
        self.assertEqual([n for n, _ in response.headers],
                         ["CONTENT-TYPE", "CONTENT-LENGTH", "Expires", "Cache-Control"])
        values = dict(response.headers)
        self.assertEqual(values["CONTENT-TYPE"], content_type)
        self.assertEqual(values["CONTENT-LENGTH"], str(length))
        self.assertEqual(values["Cache-Control"], "no-cache")
        expires = values["Expires"]
        self.assertRegex(expires, r"^(Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d "
                                  r"(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d GMT$")
        # One second before the answer: between a little before the request and now.
        age = time.time() - email.utils.parsedate_to_datetime(expires).timestamp()
        self.assertTrue(0 <= age <= 5, "Expires %s is %.1f s old" % (expires, age))

    def ask(self, request):
        s = self.connect()
        send_all(s, request.encode("latin-1") if isinstance(request, str) else request)
        reader = Reader(s)
        return reader.response(), reader

    def test_served_entries(self):
        cases = [  # path, content type, body (None: the one the size tells)
            ("/page2k.html", "text/html", PAGE_2K),
            ("/bom.html", "text/html; charset=utf-8", BOM_HTML),
            ("/css/style.css", "text/css", STYLE_CSS),
            (NAMED_URL, "text/html", NAMED_HTML),
            ("/PAGES/CAF%C3%A9%20MEN%C3%BC.HTML", "text/html", NAMED_HTML),
            ("/Css/STYLE.css?v=2#top", "text/css", STYLE_CSS),
            ("/index.html", "text/html", None),
            ("/js/app.js", "application/javascript", None),
            ("/img/pic.png", "image/x-png", None),
            ("/big.bin", "application/octet-stream", BIG),
        ]
        for path, content_type, body in cases:
            with self.subTest(path=path):
                response, _ = self.ask(self.get(path))
                self.assertEqual(response.status, "HTTP/1.1 200 OK")
                self.served_headers(response, content_type, len(response.body))
                if body is not None:
                    self.assertTrue(response.body == body, "body of %s differs" % path)
                else:
                    self.assertGreater(len(response.body), 0)

    def test_hosts_served(self):
        for host in ["localhost", "LOCALHOST:%d" % self.port, "127.0.0.1"]:
            with self.subTest(host=host):
                response, _ = self.ask(self.get("/page2k.html", host=host))
                self.assertEqual(response.status, "HTTP/1.1 200 OK")
                self.assertEqual(response.body, PAGE_2K)

    def test_not_found(self):
        for path in ["/missing.html", "/%23SYSTEM", "/%23system", "/broken.html", "/pages/caf%C3%A9.html",
                     "/pages/caf%E9%20men%FC.html", "/index.html%00.png", "/%ZZ", "/css", "/"]:
            with self.subTest(path=path):
                response, _ = self.ask(self.get(path))
                self.assertEqual(response.status, "HTTP/1.1 " + NOT_FOUND_STATUS)
                self.assertEqual(response.headers, [("CONTENT-LENGTH", str(len(NOT_FOUND_BODY)))])
                self.assertEqual(response.body, NOT_FOUND_BODY)

    @staticmethod
    def request_line_of(size):
        """A request line of size bytes (without its CR LF) for a missing entry."""
        return "GET /" + "a" * (size - len("GET / HTTP/1.1")) + " HTTP/1.1"

    @staticmethod
    def header_of(size):
        """A header block of size bytes (without the closing CR LF CR LF)."""
        return "X-Filler: " + "b" * (size - len("X-Filler: "))

    def test_requests_within_the_limits(self):
        for name, request in [
            ("request line of 128000 bytes", self.request_line_of(128000) + "\r\n\r\n"),
            ("header of 15999 bytes", "GET /missing HTTP/1.1\r\n" + self.header_of(15999) + "\r\n\r\n"),
        ]:
            with self.subTest(name):
                response, _ = self.ask(request)
                self.assertEqual(response.status, "HTTP/1.1 " + NOT_FOUND_STATUS)

    def test_bad_requests(self):
        long_line = self.request_line_of(128001) + "\r\n\r\n"
        long_header = "GET /page2k.html HTTP/1.1\r\n" + self.header_of(16001) + "\r\n\r\n"
        cases = [  # name, request, closes (else the connection serves the next request)
            ("no version", "GET /page2k.html\r\n\r\n", True),
            ("version without slash", "GET /page2k.html HTTP1.1\r\n\r\n", True),
            ("foreign host", self.get("/page2k.html", host="example.com"), False),
            ("foreign host with port", self.get("/page2k.html", host="127.0.0.1.example.com:%d" % self.port), False),
            ("Content-Length not a number", "GET /page2k.html HTTP/1.1\r\nContent-Length: 12a\r\n\r\n", True),
            ("request line of 128001 bytes", long_line, True),
            ("header of 16001 bytes", long_header, True),
        ]
        for name, request, closes in cases:
            with self.subTest(name):
                response, reader = self.ask(request)
                self.assertEqual(response.status, "HTTP/1.1 " + BAD_REQUEST_STATUS)
                self.assertEqual(response.body, BAD_REQUEST_BODY)
                if closes:
                    self.assertTrue(reader.closed())
                else:
                    reader.sock.sendall(self.get("/bom.html").encode())
                    self.assertEqual(reader.response().body, BOM_HTML)

    def test_connection_kept_or_closed(self):
        # An HTTP/1.0 request, or one with "Connection: close", is answered "HTTP/1.0" with
        # "CONNECTION: close" and the connection ends; otherwise it stays open for the next.
        cases = [  # request version, Connection field, answer version, closes
            ("HTTP/1.0", None, "HTTP/1.0", True),
            ("HTTP/1.1", "close", "HTTP/1.0", True),
            ("HTTP/1.0", "keep-alive", "HTTP/1.1", False),
            ("HTTP/1.1", None, "HTTP/1.1", False),
        ]
        for version, connection, answer_version, closes in cases:
            with self.subTest(version=version, connection=connection):
                request = "GET /page2k.html %s\r\n%s\r\n" % (
                    version, "Connection: %s\r\n" % connection if connection else "")
                response, reader = self.ask(request)
                self.assertEqual(response.status, answer_version + " 200 OK")
                self.assertEqual(response.body, PAGE_2K)
                fields = [(n, v) for n, v in response.headers if n.upper() == "CONNECTION"]
                self.assertEqual(fields, [("CONNECTION", "close")] if closes else [])
                if closes:
                    self.assertEqual(response.headers[-1], ("CONNECTION", "close"))
                    self.assertTrue(reader.closed())
                else:
                    reader.sock.sendall(self.get("/bom.html").encode())
                    self.assertEqual(reader.response().body, BOM_HTML)

    def test_head_gets_the_head_of_get_and_no_body(self):
        # Kept alive and pipelined: each HEAD answer is GET's head alone, so the answer after it
        # starts right behind it.
        cases = [("/page2k.html", PAGE_2K), ("/missing.html", NOT_FOUND_BODY), ("/big.bin", BIG)]
        for path, body in cases:
            with self.subTest(path=path):
                s = self.connect()
                s.sendall((self.get(path).replace("GET", "HEAD", 1) + self.get(path) +
                           self.get(path).replace("GET", "HEAD", 1)).encode())
                reader = Reader(s)
                heads = [reader.head()]
                got = reader.response()
                heads.append(reader.head())
                self.assertTrue(got.body == body, "the GET after HEAD %s got other bytes" % path)
                for head in heads:
                    self.assertEqual(head.status, got.status)
                    self.assertEqual([n for n, _ in head.headers], [n for n, _ in got.headers])
                    self.assertEqual(dict(head.headers)["CONTENT-LENGTH"], str(len(body)))
                s.settimeout(1)
                with self.assertRaises(socket.timeout, msg="bytes after the last HEAD answer"):
                    reader._fill()

    def test_http_1_1_keeps_alive(self):
        s = self.connect()
        reader = Reader(s)
        for path, body in [("/page2k.html", PAGE_2K), ("/bom.html", BOM_HTML), ("/missing", NOT_FOUND_BODY),
                           ("/big.bin", BIG), ("/css/style.css", STYLE_CSS)]:
            s.sendall(self.get(path).encode())
            self.assertTrue(reader.response().body == body, "answer to %s differs" % path)

    def test_pipelined_requests_answered_in_order(self):
        paths = ["/page2k.html", "/missing", "/big.bin", "/css/style.css", "/%23SYSTEM", "/bom.html"]
        bodies = [PAGE_2K, NOT_FOUND_BODY, BIG, STYLE_CSS, NOT_FOUND_BODY, BOM_HTML]
        s = self.connect()
        s.sendall("".join(self.get(p) for p in paths).encode())
        reader = Reader(s)
        for path, body in zip(paths, bodies):
            self.assertTrue(reader.response().body == body, "answer to %s differs" % path)

    def test_half_close_after_the_requests(self):
        # The client shuts down its sending side after its requests, at once or after a pause in
        # which it reads nothing (the server's send then waits for room): every answer still
        # arrives whole, then the end of the stream.
        bodies = {"/page2k.html": PAGE_2K, "/bom.html": BOM_HTML, "/missing": NOT_FOUND_BODY, "/big.bin": BIG}
        for paths, pause in [(["/big.bin"], 0), (["/big.bin"], 0.5), (["/page2k.html"], 0),
                             (["/bom.html", "/missing", "/big.bin", "/page2k.html"], 0),
                             (["/bom.html", "/missing", "/big.bin", "/page2k.html"], 0.5),
                             (["/page2k.html", "/bom.html"] * 8, 0)]:
            with self.subTest(requests=len(paths), first=paths[0], pause=pause):
                s = self.connect()
                s.sendall("".join(self.get(p) for p in paths).encode())
                time.sleep(pause)
                s.shutdown(socket.SHUT_WR)
                reader = Reader(s)
                for i, path in enumerate(paths):
                    try:
                        body = reader.response().body
                    except EOFError:
                        self.fail("%d of %d answers, then the end (%d bytes of the next)" % (i, len(paths),
                                                                                          len(reader.buf)))
                    self.assertTrue(body == bodies[path], "answer %d (%s) differs" % (i, path))
                self.assertTrue(reader.closed())

    def test_request_dripped_byte_by_byte(self):
        s = self.connect()
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for byte in (self.get("/page2k.html") + self.get("/bom.html")).encode():
            s.send(bytes([byte]))
            time.sleep(0.002)
        reader = Reader(s)
        self.assertEqual(reader.response().body, PAGE_2K)
        self.assertEqual(reader.response().body, BOM_HTML)

    def test_parallel_clients(self):
        clients = 50
        start = threading.Barrier(clients)
        results = [None] * clients

        def fetch(i):
            path, body = ("/big.bin", BIG) if i % 5 == 0 else ("/page2k.html", PAGE_2K)
            try:
                connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=SOCKET_SECONDS * 2)
                start.wait()
                connection.request("GET", path)
                response = connection.getresponse()
                data = response.read()
                connection.close()
                results[i] = "ok" if response.status == 200 and data == body else \
                    "%s: %d, %d bytes" % (path, response.status, len(data))
            except Exception as e:  # reported below, for the client it happened to
                results[i] = "%s: %r" % (path, e)

        threads = [threading.Thread(target=fetch, args=(i,)) for i in range(clients)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual([r for r in results if r != "ok"], [])

    def test_slow_reader_gets_every_byte(self):
        s = self.connect(receive_buffer=4096)
        s.sendall(self.get("/big.bin").encode())
        time.sleep(1.0)  # the server meets a full socket before the first byte is read
        reader = Reader(s, piece=4096)
        next_pause = 1 << 20
        while len(reader.buf) < len(BIG):  # the header block comes on top
            reader._fill()
            if len(reader.buf) >= next_pause:
                time.sleep(0.1)
                next_pause += 1 << 20
        response = reader.response()
        self.assertTrue(response.body == BIG, "the 10 MiB entry arrived damaged (%d bytes)" % len(response.body))

    def test_stalled_reader_does_not_hold_the_server(self):
        # A client that asks for the 10 MiB entry and then reads nothing: the server's send
        # waits for room, but other clients are answered meanwhile.
        stalled = self.connect(receive_buffer=4096)
        stalled.sendall(self.get("/big.bin").encode())
        time.sleep(1.0)
        for _ in range(3):
            s = self.connect()
            s.settimeout(5)
            s.sendall(self.get("/page2k.html").encode())
            self.assertEqual(Reader(s).response().body, PAGE_2K)

    def test_curl(self):
        base = "http://127.0.0.1:%d" % self.port
        for url, code, body in [(base + "/page2k.html", "200", PAGE_2K),
                                (base + NAMED_URL, "200", NAMED_HTML),
                                (base + "/missing.html", "404", NOT_FOUND_BODY)]:
            with self.subTest(url=url):
                done = subprocess.run([ARGS.curl, "-s", "-S", "-o", "-", "-w", "\n%{http_code}", url],
                                      capture_output=True, timeout=SOCKET_SECONDS)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(done.stdout, body + b"\n" + code.encode())


class Browser(ServerTestCase):
    """A real browser loads the start page; its script reports what arrived through the server."""

    def test_start_page_with_sheet_script_and_picture(self):
        profile = tempfile.mkdtemp(prefix="chromium-", dir=TEMP_DIR)
        done = subprocess.run(
            [ARGS.chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--no-first-run", "--user-data-dir=" + profile, "--virtual-time-budget=5000", "--dump-dom",
             "http://127.0.0.1:%d/index.html" % self.port],
            stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr[-2000:])
        dom = done.stdout.decode("utf-8", "replace")
        self.assertIn('<p id="seen-script">script ran</p>', dom)
        # Only the served sheet gives #lead this colour and spacing; only the served PNG is 3x2.
        self.assertIn('<p id="seen-css">rgb(12, 34, 56) / 3px</p>', dom)
        self.assertIn('<p id="seen-pic">3x2</p>', dom)


class IdleTimeout(ServerTestCase):
    server_args = ("--idle", "2")

    def test_silent_connection_closed(self):
        s = self.connect()
        started = time.monotonic()
        self.assertTrue(Reader(s).closed())
        waited = time.monotonic() - started
        self.assertTrue(1.5 <= waited <= 5.0, "closed after %.1f s" % waited)

    def test_request_before_the_time_out_answered(self):
        s = self.connect()
        s.sendall(self.get("/page2k.html").encode())
        self.assertEqual(Reader(s).response().body, PAGE_2K)


class Shutdown(unittest.TestCase):
    def test_input_closed_with_connections_open(self):
        # One connection idle, one in the middle of the 10 MiB entry with a reader that has
        # stopped reading: closing standard input still ends serve-book, and both see the end.
        server = ServeBook(BOOK, str(free_port()))
        port = server.wait_listening()
        idle = socket.create_connection(("127.0.0.1", port), timeout=SOCKET_SECONDS)
        busy = socket.create_connection(("127.0.0.1", port), timeout=SOCKET_SECONDS)
        for s in (idle, busy):
            self.addCleanup(s.close)
        busy.sendall(b"GET /big.bin HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        head = b""
        while len(head) < 15 and (data := busy.recv(15 - len(head))):
            head += data
        self.assertEqual(head, b"HTTP/1.1 200 OK")
        time.sleep(0.5)
        self.assertEqual(server.stop(), 0)  # within STOP_SECONDS
        self.assertTrue(Reader(idle).closed())
        # What the system still holds of the answer may arrive; then the end (not a time-out).
        try:
            while busy.recv(1 << 20):
                pass
        except ConnectionResetError:
            pass

    def test_input_closed_right_after_a_restart(self):
        # A client fetches all the while; the restart is asked for and standard input closed
        # at once: serve-book ends with code 0 within STOP_SECONDS.
        for attempt in range(3):
            with self.subTest(attempt=attempt):
                server = ServeBook(BOOK, str(free_port()))
                port = server.wait_listening()
                stop = threading.Event()

                def fetch():
                    while not stop.is_set():
                        try:
                            with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                                s.sendall(b"GET /page2k.html HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                                Reader(s).response()
                        except (OSError, EOFError):
                            time.sleep(0.01)

                client = threading.Thread(target=fetch)
                client.start()
                time.sleep(0.3 * attempt)
                server.proc.stdin.write(b"restart\n")
                server.proc.stdin.flush()
                code = server.stop()
                stop.set()
                client.join(SOCKET_SECONDS)
                self.assertEqual(code, 0, bytes(server.stderr))


def server_report(server):
    """(connections, queues) as serve-book reports them now."""
    before = bytes(server.stdout).count(b"CONNECTIONS")
    server.proc.stdin.write(b"report\n")
    server.proc.stdin.flush()
    deadline = time.monotonic() + STOP_SECONDS
    while time.monotonic() < deadline:
        lines = re.findall(rb"CONNECTIONS (\d+) QUEUES (\d+)", bytes(server.stdout))
        if len(lines) > before:
            return int(lines[-1][0]), int(lines[-1][1])
        time.sleep(0.05)
    raise AssertionError("serve-book did not report; stderr %r" % bytes(server.stderr))


def process_memory_kb(pid):
    """(resident, virtual) size of a process in KiB."""
    with open("/proc/%d/status" % pid) as status:
        fields = dict(line.split(":", 1) for line in status if ":" in line)
    return int(fields["VmRSS"].split()[0]), int(fields["VmSize"].split()[0])


def server_side_sockets(port):
    """The TCP sockets on the server's port other than the listener, as `ss` lists them:
    [(state, unread bytes, peer)]."""
    listed = subprocess.run(["ss", "-tanH", "sport", "= :%d" % port], capture_output=True, text=True, check=True)
    sockets = []
    for line in listed.stdout.splitlines():
        state, unread, _, _, peer = line.split()[:5]
        if state not in ("LISTEN", "TIME-WAIT"):   # a socket in TIME-WAIT is closed
            sockets.append((state, int(unread), peer))
    return sockets


class RefusedStreamers(unittest.TestCase):
    """Clients announce a body far beyond the server's limit and go on sending it. Each is
    refused with 400 at once and cut; meanwhile other clients are served; the server's memory
    stays near its idle size, and afterwards no server socket is left open and no connection is
    counted."""

    CLIENTS = 6
    STREAM_SECONDS = 4
    STREAM_BYTES = 1 << 30   # a client stops after this much in any case
    PIECE = b"x" * (256 * 1024)
    MEMORY_GROWTH_KB = 16 * 1024   # a few MB over idle
    SETTLE_SECONDS = 10

    def test_refused_streamers_neither_grow_the_server_nor_keep_its_sockets(self):
        server = ServeBook(BOOK, str(free_port()))
        self.addCleanup(server.stop)
        port = server.wait_listening()
        pid = server.proc.pid

        def fetch():
            with socket.create_connection(("127.0.0.1", port), timeout=SOCKET_SECONDS) as s:
                s.sendall(("GET /page2k.html HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % port).encode())
                return Reader(s).response().body

        for _ in range(20):   # the pool's workers and the page path warmed up
            self.assertEqual(fetch(), PAGE_2K)
        idle_rss, idle_vm = process_memory_kb(pid)

        refused = [b""] * self.CLIENTS
        sent = [0] * self.CLIENTS
        cut = [False] * self.CLIENTS

        def stream(i):
            s = socket.create_connection(("127.0.0.1", port), timeout=SOCKET_SECONDS)

            def read():
                try:
                    while piece := s.recv(65536):
                        refused[i] += piece
                except OSError:
                    pass

            reader = threading.Thread(target=read)
            try:
                s.sendall(("POST /page.html HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Length: 4000000000\r\n\r\n"
                           % port).encode())
                reader.start()
                s.settimeout(1)
                deadline = time.monotonic() + self.STREAM_SECONDS
                while time.monotonic() < deadline and sent[i] < self.STREAM_BYTES:
                    try:
                        s.sendall(self.PIECE)
                        sent[i] += len(self.PIECE)
                    except socket.timeout:
                        pass
                    except OSError:
                        cut[i] = True
                        break
            finally:
                s.shutdown(socket.SHUT_WR) if not cut[i] else None
                if reader.is_alive() or reader.ident:
                    reader.join(SOCKET_SECONDS)
                s.close()

        streamers = [threading.Thread(target=stream, args=(i,)) for i in range(self.CLIENTS)]
        for t in streamers:
            t.start()
        served_meanwhile = 0
        peak_rss, peak_vm = idle_rss, idle_vm
        while any(t.is_alive() for t in streamers):
            self.assertEqual(fetch(), PAGE_2K)
            served_meanwhile += 1
            rss, vm = process_memory_kb(pid)
            peak_rss, peak_vm = max(peak_rss, rss), max(peak_vm, vm)
            time.sleep(0.2)
        for t in streamers:
            t.join()

        deadline = time.monotonic() + self.SETTLE_SECONDS
        while server_side_sockets(port) and time.monotonic() < deadline:
            time.sleep(0.2)
        left = server_side_sockets(port)
        after_rss, after_vm = process_memory_kb(pid)
        sys.stderr.write("\nrefused streamers: sent %s MB; memory idle %d/%d, peak %d/%d, after %d/%d KiB "
                         "(resident/virtual); %d answers meanwhile\n"
                         % ([n >> 20 for n in sent], idle_rss, idle_vm, peak_rss, peak_vm, after_rss, after_vm,
                            served_meanwhile))
        for i in range(self.CLIENTS):
            self.assertTrue(refused[i].startswith(b"HTTP/1.1 " + BAD_REQUEST_STATUS.encode()),
                            "client %d got %r" % (i, refused[i][:40]))
        self.assertGreater(served_meanwhile, 0)
        self.assertLess(peak_rss - idle_rss, self.MEMORY_GROWTH_KB)
        self.assertEqual(left, [], "server sockets left on port %d" % port)
        self.assertEqual(server_report(server)[0], 0)


class Ports(unittest.TestCase):
    """Without PORT serve-book takes the first free port from 8000 to 8099."""

    @staticmethod
    def take(port):
        s = socket.socket()
        # A connection of an earlier run still in TIME_WAIT on the port must not keep the port
        # from being taken (a listener on it still does).
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("127.0.0.1", port))
            s.listen(1)
            return s
        except OSError:
            s.close()
            return None

    def test_port_taken_on_the_linux_side_is_passed_over(self):
        taken = None
        for port in range(8000, 8099):
            taken = self.take(port)
            if taken:
                break
        self.assertIsNotNone(taken, "no free port from 8000 to 8098")
        self.addCleanup(taken.close)
        server = ServeBook(BOOK)
        port = server.wait_listening()
        try:
            self.assertNotEqual(port, taken.getsockname()[1])
            self.assertTrue(8000 <= port <= 8099, port)
            with socket.create_connection(("127.0.0.1", port), timeout=SOCKET_SECONDS) as s:
                s.sendall(b"GET /bom.html HTTP/1.1\r\nHost: localhost:%d\r\n\r\n" % port)
                self.assertEqual(Reader(s).response().body, BOM_HTML)
        finally:
            self.assertEqual(server.stop(), 0)

    def test_no_free_port(self):
        taken = [s for s in map(self.take, range(8000, 8100)) if s]
        try:
            code, out, err = run_serve_book(BOOK)
        finally:
            for s in taken:
                s.close()
        self.assertEqual((code, out), (1, b""))
        self.assertIn(b"Unable to activate data server", err)


class Soak(unittest.TestCase):
    """serve-book with a one-second idle time-out under parallel clients that pipeline, drip,
    reset, close after one answer and stay silent, while the server restarts every few seconds.
    Every answer that arrives whole is byte-exact; a connection may be refused or cut only
    around a restart; afterwards no connection or job queue is left and the server ends."""

    SECONDS = 20
    CLIENTS = 8
    RESTART_EVERY = 4
    RESTART_WINDOW = (-0.5, 6.0)  # a cut or a refusal this close to a restart is expected
    ENTRIES = [  # path, content type, body
        ("/page2k.html", "text/html", PAGE_2K),
        ("/css/style.css", "text/css", STYLE_CSS),
        ("/bom.html", "text/html; charset=utf-8", BOM_HTML),
        (NAMED_URL, "text/html", NAMED_HTML),
    ]

    def report(self, server):
        return server_report(server)

    def check(self, response, entry, closing=False):
        """None when the answer is the entry's, byte for byte; else what differs."""
        path, content_type, body = entry
        status = "HTTP/1.0 200 OK" if closing else "HTTP/1.1 200 OK"
        names = ["CONTENT-TYPE", "CONTENT-LENGTH", "Expires", "Cache-Control"] + (["CONNECTION"] if closing else [])
        values = dict(response.headers)
        if response.status != status or [n for n, _ in response.headers] != names:
            return "%s: %s %r" % (path, response.status, response.headers)
        if values["CONTENT-TYPE"] != content_type or values.get("CONNECTION", "close") != "close":
            return "%s: %r" % (path, response.headers)
        if response.body != body:
            return "%s: body of %d bytes differs" % (path, len(response.body))
        return None

    def test_clients_while_restarting(self):
        server = ServeBook("--idle", "1", BOOK, str(free_port()))
        port = server.wait_listening()
        _, queues_idle = self.report(server)
        restarts = []
        problems = []
        answers = [0]
        cuts = [0]
        lock = threading.Lock()
        stop = threading.Event()

        def near_restart(t):
            low, high = self.RESTART_WINDOW
            with lock:
                return any(r + low <= t <= r + high for r in restarts)

        def note(problem):
            with lock:
                problems.append(problem)

        def connect():
            s = socket.create_connection(("127.0.0.1", port), timeout=SOCKET_SECONDS)
            s.settimeout(SOCKET_SECONDS)
            return s

        def request(entry, extra=""):
            return ("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n%s\r\n" % (entry[0], port, extra)).encode()

        def answered(response, entry, closing=False):
            problem = self.check(response, entry, closing)
            if problem:
                note(problem)
            else:
                with lock:
                    answers[0] += 1

        def pipeline(rng):
            chosen = [rng.choice(self.ENTRIES) for _ in range(3)]
            with connect() as s:
                s.sendall(b"".join(request(e) for e in chosen))
                reader = Reader(s)
                for e in chosen:
                    answered(reader.response(), e)

        def drip(rng):
            entry = rng.choice(self.ENTRIES)
            with connect() as s:
                for byte in request(entry):
                    s.sendall(bytes([byte]))
                    time.sleep(0.005)
                answered(Reader(s).response(), entry)

        def close_after_one(rng):
            first, second = rng.choice(self.ENTRIES), rng.choice(self.ENTRIES)
            with connect() as s:
                s.sendall(request(first, "Connection: close\r\n") + request(second))
                reader = Reader(s)
                answered(reader.response(), first, closing=True)
                if not reader.closed():
                    note("an answer after the one that closes")

        def reset(rng):
            with connect() as s:
                s.sendall(request(rng.choice(self.ENTRIES))[: rng.randrange(1, 30)])
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")

        def silent(rng):
            with connect() as s:
                started = time.monotonic()
                if not Reader(s).closed():
                    note("a silent connection got data")
                elif time.monotonic() - started > 5 and not near_restart(time.monotonic()):
                    note("a silent connection closed after %.1f s" % (time.monotonic() - started))

        actions = [pipeline, pipeline, drip, close_after_one, reset, silent]

        def client(seed):
            rng = random.Random(seed)
            while not stop.is_set():
                action = rng.choice(actions)
                try:
                    action(rng)
                except (OSError, EOFError) as e:
                    if not near_restart(time.monotonic()):
                        note("%s: %r" % (action.__name__, e))
                    with lock:
                        cuts[0] += 1
                    time.sleep(0.05)

        threads = [threading.Thread(target=client, args=(i,)) for i in range(self.CLIENTS)]
        for t in threads:
            t.start()
        end = time.monotonic() + self.SECONDS
        while time.monotonic() < end:
            time.sleep(self.RESTART_EVERY)
            with lock:
                restarts.append(time.monotonic())
            server.proc.stdin.write(b"restart\n")
            server.proc.stdin.flush()
        stop.set()
        for t in threads:
            t.join(SOCKET_SECONDS)
        # The last restart was asked for a moment ago: until it has listened again, the server
        # is between two listeners and has one queue fewer than when idle.
        deadline = time.monotonic() + STOP_SECONDS
        while True:
            try:
                entry = self.ENTRIES[0]
                with connect() as s:
                    s.sendall(request(entry, "Connection: close\r\n"))
                    if self.check(Reader(s).response(), entry, closing=True) is None:
                        break
            except (OSError, EOFError):
                pass
            if time.monotonic() >= deadline:
                self.fail("serve-book does not answer after its last restart")
            time.sleep(0.2)
        # Every connection and its queue are gone once the clients are.
        deadline = time.monotonic() + STOP_SECONDS
        while self.report(server) != (0, queues_idle) and time.monotonic() < deadline:
            time.sleep(0.2)
        left = self.report(server)
        code = server.stop()
        print("soak: %d answers, %d connections refused or cut, %d restarts" % (answers[0], cuts[0], len(restarts)),
              file=sys.stderr)
        self.assertEqual(problems, [])
        self.assertGreater(answers[0], 100)
        self.assertEqual(left, (0, queues_idle), "open connections and job queues after the load")
        self.assertEqual(code, 0, bytes(server.stderr))


class Arguments(unittest.TestCase):
    def test_errors(self):
        junk = os.path.join(TEMP_DIR, "junk.lbk")
        with open(junk, "wb") as f:
            f.write(b"not a book at all" * 100)
        cases = [  # arguments, what stderr holds
            ((), b"usage: serve-book"),
            ((BOOK, "80x"), b"usage: serve-book"),
            (("--idle", "0", BOOK), b"usage: serve-book"),
            ((junk,), b"Invalid data"),
            ((os.path.join(TEMP_DIR, "absent.lbk"),), b"serve-book: "),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                code, out, err = run_serve_book(*args)
                self.assertEqual((code, out), (1, b""))
                self.assertIn(message, err)


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ["--wine", "--serve-book", "--maker", "--curl", "--chromium"]:
        parser.add_argument(name, required=True)
    parser.add_argument("--blocking", action="store_true", help="serve-book on blocking sockets")
    ARGS, rest = parser.parse_known_args()
    global SOCKET_ARGS
    SOCKET_ARGS = ("--blocking",) if ARGS.blocking else ()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
