"""A small HTTP server for the faults nginx does not produce.

Binds 127.0.0.1 on a free port, writes "PORT" to --port-file and its PID to
--pid-file, and ends by itself after --lifetime seconds. Bodies use the byte
pattern of pattern.py (byte i is (i * 31 + 7) % 251).

Paths (query parameters in brackets):
  /cut?size=N&send=M        announces N bytes, sends M of them, closes
  /lie?size=N&send=M        announces N bytes, sends M (more or fewer), closes
  /nolength?size=N          no Content-Length; the end of the body is the close
  /stall?seconds=S          reads the request, answers nothing for S s, closes
  /stallbody?size=N&send=M&seconds=S   headers and M bytes, then S s of silence
  /slow?size=N&chunk=K&ms=D sends the body in K-byte pieces D ms apart
  /norange?size=N           ignores Range and answers 200 with the whole body
  /redirect?to=PATH         302 to PATH on this server
  /status?code=C            answers status C with a short text body
  /auth?user=U&pass=P[&challenge=TEXT]  401 until Basic U:P is given
  /echo                     the request as received (line, headers, body)
Any request in proxy form (absolute http URL) must carry
Proxy-Authorization for proxyuser:proxypass, else the answer is 407; with it
the path is served as above.
"""
import argparse
import base64
import os
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

MAX_SIZE = 64 * 1024 * 1024
MAX_STALL = 60.0
PROXY_CREDENTIALS = "proxyuser:proxypass"


def pattern(size, start=0):
    return bytes(((i * 31 + 7) % 251) for i in range(start, start + size))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "DeskpinFault/1"

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        self.handle_any(b"")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.handle_any(self.rfile.read(min(length, MAX_SIZE)))

    def do_HEAD(self):
        self.handle_any(b"")

    def arg(self, name, default=0):
        value = self.query.get(name, [None])[0]
        if value is None:
            return default
        return type(default)(value)

    def size_arg(self, name, default=0):
        return max(0, min(MAX_SIZE, self.arg(name, default)))

    def head(self, code, length=None, extra=(), close=True):
        self.send_response(code)
        if length is not None:
            self.send_header("Content-Length", str(length))
        for key, value in extra:
            self.send_header(key, value)
        if close:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()

    def reply(self, code, body, extra=()):
        self.head(code, len(body), extra, close=False)
        if self.command != "HEAD":
            self.wfile.write(body)

    def handle_any(self, body):
        target = self.path
        if target.startswith("http://"):
            expected = "Basic " + base64.b64encode(PROXY_CREDENTIALS.encode()).decode()
            if self.headers.get("Proxy-Authorization") != expected:
                self.reply(407, b"proxy authentication required",
                           [("Proxy-Authenticate", 'Basic realm="Test Proxy"')])
                return
            parts = urlsplit(target)
            target = parts.path + ("?" + parts.query if parts.query else "")
        parts = urlsplit(target)
        self.query = parse_qs(parts.query)
        route = getattr(self, "route_" + parts.path.strip("/"), None)
        if route is None:
            self.reply(404, b"not found")
            return
        route(body)

    def route_echo(self, body):
        text = self.requestline.encode("latin-1") + b"\r\n"
        text += bytes(self.headers).replace(b"\n", b"\r\n").replace(b"\r\r\n", b"\r\n")
        self.reply(200, text + body, [("Content-Type", "text/plain")])

    def route_cut(self, body):
        self.route_lie(body)

    def route_lie(self, body):
        # the announced size may be anything a 32-bit length holds; only what
        # is sent is bounded
        size = max(0, min(2**31 - 1, self.arg("size", 0)))
        send = self.size_arg("send")
        self.head(200, size)
        self.wfile.write(pattern(send))
        self.wfile.flush()

    def route_nolength(self, body):
        self.head(200, None)
        self.wfile.write(pattern(self.size_arg("size")))

    def route_stall(self, body):
        time.sleep(min(MAX_STALL, self.arg("seconds", 5.0)))
        self.close_connection = True

    def route_stallbody(self, body):
        self.head(200, self.size_arg("size"))
        self.wfile.write(pattern(self.size_arg("send")))
        self.wfile.flush()
        time.sleep(min(MAX_STALL, self.arg("seconds", 5.0)))

    def route_slow(self, body):
        size, chunk = self.size_arg("size"), max(1, self.size_arg("chunk", 1024))
        delay = min(self.arg("ms", 50.0), 5000.0) / 1000.0
        self.head(200, size)
        for start in range(0, size, chunk):
            self.wfile.write(pattern(min(chunk, size - start), start))
            self.wfile.flush()
            time.sleep(delay)

    def route_norange(self, body):
        self.reply(200, pattern(self.size_arg("size")))

    def route_redirect(self, body):
        to = self.query.get("to", ["/echo"])[0]
        self.reply(302, b"moved", [("Location", to)])

    def route_status(self, body):
        code = self.arg("code", 500)
        self.reply(code, ("status %d" % code).encode())

    def route_auth(self, body):
        user = self.query.get("user", ["u"])[0]
        password = self.query.get("pass", ["p"])[0]
        expected = "Basic " + base64.b64encode(("%s:%s" % (user, password)).encode()).decode()
        if self.headers.get("Authorization") == expected:
            self.reply(200, b"welcome " + user.encode())
            return
        challenge = self.query.get("challenge", ['Basic realm="Fault Realm"'])[0]
        self.reply(401, b"who are you", [("WWW-Authenticate", challenge)])


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        pass  # clients that hang up early are part of the tests


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--pid-file")
    parser.add_argument("--lifetime", type=float, default=1800.0)
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Handler)
    if args.pid_file:
        with open(args.pid_file, "w") as f:
            f.write("%d\n" % os.getpid())
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % server.server_address[1])
        os.replace(args.port_file + ".tmp", args.port_file)
    threading.Timer(args.lifetime, lambda: os._exit(0)).start()
    try:
        server.serve_forever()
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
