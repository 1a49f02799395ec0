"""Loopback HTTP server for the HTTP client's tests.

Usage: http_server.py RECORD_DIR PORT_FILE [watch]

Listens on a free port of 127.0.0.1 and writes that port to PORT_FILE, and a
port that nothing listens on to PORT_FILE.closed. With "watch" it stops once
RECORD_DIR is gone (a test under wine can neither signal it nor hand it a
pipe). Every
request is recorded before it is answered: RECORD_DIR/<n>.body holds the body
bytes, RECORD_DIR/<n>.head the line "METHOD TARGET" and one "Name: value" line
per header (written last, so a present .head means a complete record). The
answer is chosen by the path, from ROUTES.
"""

import os
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

RECORD_DIR = sys.argv[1]
PORT_FILE = sys.argv[2]

# The large body: a pattern whose length is prime, so that it lines up with
# no power of two; the tests rebuild it the same way.
PATTERN = bytes((i * 31 + 7) % 256 for i in range(65521))

counter_lock = threading.Lock()
counter = [0]


def record(method, target, headers, body):
    with counter_lock:
        counter[0] += 1
        number = counter[0]
    base = os.path.join(RECORD_DIR, str(number))
    with open(base + ".body", "wb") as out:
        out.write(body)
    lines = [f"{method} {target}"] + [f"{name}: {value}" for name, value in headers.items()]
    with open(base + ".tmp", "w", encoding="latin-1") as out:
        out.write("\n".join(lines) + "\n")
    os.replace(base + ".tmp", base + ".head")


def big_body(query):
    size = int(query.get("n", ["0"])[0])
    whole, rest = divmod(size, len(PATTERN))
    return PATTERN * whole + PATTERN[:rest]


# path -> (status, extra headers, body or a function of the query)
ROUTES = {
    "/hello": (200, {}, b"hello"),
    "/missing": (404, {}, b"no such page"),
    "/empty": (200, {}, b""),
    "/zeros": (200, {}, b"a\x00b\x00\x00c"),
    "/big": (200, {}, big_body),
    "/name-quoted": (200, {"Content-Disposition": 'attachment; filename="report.pdf"'}, b"pdf"),
    "/name-open": (200, {"Content-Disposition": 'attachment; filename="report.pdf'}, b"pdf"),
    "/name-long": (200, {"Content-Disposition": 'attachment; filename="' + "n" * 400 + '"'},
                   b"pdf"),
}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, headers, body):
        self.send_response(status)
        for name, value in headers.items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True

    def handle_any(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length > 0 else b""
        record(self.command, self.path, self.headers, body)
        split = urlsplit(self.path)
        path = split.path
        if path == "/auth":
            if "Authorization" not in self.headers:
                self.answer(401, {"WWW-Authenticate": 'Basic realm="vesk"'}, b"denied")
            else:
                self.answer(200, {}, b"welcome")
        elif path == "/chunks":
            self.send_pieces([b"first ", b"second ", b"third"], 0.02)
        elif path == "/slow":
            self.send_pieces([b"x" * 100] * 200, 0.05)
        elif path == "/cut":
            self.send_cut()
        elif path == "/silent":
            self.close_connection = True
        elif path in ROUTES:
            status, headers, body = ROUTES[path]
            if callable(body):
                body = body(parse_qs(split.query))
            self.answer(status, headers, body)
        else:
            self.answer(200, {}, b"ok")

    def send_pieces(self, pieces, pause):
        """A body sent in several writes, with a pause before each."""
        self.send_response(200)
        self.send_header("Content-Length", str(sum(len(p) for p in pieces)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.flush()
        try:
            for piece in pieces:
                time.sleep(pause)
                self.wfile.write(piece)
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass
        self.close_connection = True

    def send_cut(self):
        """Promises a longer body than it sends, then closes the connection."""
        self.send_response(200)
        self.send_header("Content-Length", "1000")
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(b"only part")
        self.wfile.flush()
        self.close_connection = True

    do_GET = handle_any
    do_POST = handle_any
    do_PUT = handle_any


def write_port(path, port):
    with open(path + ".tmp", "w", encoding="ascii") as out:
        out.write(str(port))
    os.replace(path + ".tmp", path)


def stop_when_records_go(server):
    while os.path.isdir(RECORD_DIR):
        time.sleep(0.2)
    server.shutdown()


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    with socket.socket() as unused:
        unused.bind(("127.0.0.1", 0))
        closed = unused.getsockname()[1]
    write_port(PORT_FILE + ".closed", closed)
    write_port(PORT_FILE, server.server_address[1])
    if sys.argv[3:] == ["watch"]:
        threading.Thread(target=stop_when_records_go, args=(server,), daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
