#!/usr/bin/env python3
"""A scripted HTTP server for the update tests, on 127.0.0.1 only.

    python3 server.py --root DIR [--lifetime S] [--log FILE] [--route PATH=TARGET ...]
                      [--routes FILE]

Prints the chosen port as its first line. Serves the files below DIR and these paths:
  /status/N                      answers with status N
  /stall                         headers (Content-Length 1000), then nothing
  .../slow?bytes=N&delay=S&chunk=C  N bytes in chunks of C, S seconds apart (any folder)
  /nolength?bytes=N&delay=S      like /slow, without Content-Length, ended by closing
  .../endless?chunk=C&delay=S&length=L  chunks of C bytes without end, S seconds apart
                                 (default 0: as fast as the client takes them); with
                                 length=L it announces Content-Length L all the same
  .../huge?bytes=N&chunk=C       N bytes with Content-Length N, as fast as taken; N may
                                 be far beyond memory, the body is generated while sent
  .../drip?delay=S               one byte every S seconds without end
  /redirect?to=PATH              302 to PATH
The scripted paths also match after percent-decoding the request (a file name such as
"endless?delay=0" that a client sent encoded); files are looked up as sent. Generated
bodies are byte i = i % 251. --log appends every request's path as sent, one a line.
--route answers a request for PATH (e.g. /Updates.ini) as if TARGET had been asked for;
--routes names a file of such PATH=TARGET lines, read again for every request, so a test
can change them while the server runs.
Ends after --lifetime seconds or on SIGTERM, so a test that forgets it leaves nothing
running for long; endless answers stop then too.
"""

import argparse
import functools
import http.server
import signal
import sys
import threading
import urllib.parse

MAX_GENERATED = 64 * 1024 * 1024  # a typo in a test must not stream for ever
stop = threading.Event()


PERIOD = 251
MAX_CHUNK = 1 << 20
_BLOCK = bytes(i % PERIOD for i in range(PERIOD)) * (MAX_CHUNK // PERIOD + 2)
log_lock = threading.Lock()
log_file = None
routes = {}
routes_file = None


def current_routes():
    table = dict(routes)
    try:
        with open(routes_file, encoding="utf-8") as lines:
            for line in lines:
                path, _, target = line.strip().partition("=")
                if path:
                    table[path] = target
    except (OSError, TypeError):
        pass
    return table


def pattern(start, count):
    if count <= MAX_CHUNK:
        offset = start % PERIOD
        return _BLOCK[offset:offset + count]
    return b"".join(pattern(start + i, min(MAX_CHUNK, count - i))
                    for i in range(0, count, MAX_CHUNK))


class Handler(http.server.SimpleHTTPRequestHandler):
    # HTTP/1.0: every answer ends the connection, which the no-length body relies on.
    protocol_version = "HTTP/1.0"

    def log_message(self, format, *args):  # quiet: nobody reads the pipe while tests run
        pass

    def do_GET(self):
        if log_file:
            with log_lock, open(log_file, "a", encoding="utf-8") as log:
                log.write(self.path + "\n")
        table = current_routes()
        if urllib.parse.urlsplit(self.path).path in table:
            self.path = table[urllib.parse.urlsplit(self.path).path]
        url = urllib.parse.urlsplit(urllib.parse.unquote(self.path))
        query = urllib.parse.parse_qs(url.query)

        def number(name, default, kind=int):
            try:
                return kind(query[name][0])
            except (KeyError, ValueError):
                return default

        try:
            if url.path.startswith("/status/"):
                self.answer(status_code(url.path[len("/status/"):], 500))
            elif url.path == "/stall":
                self.send_response(200)
                self.send_header("Content-Length", "1000")
                self.end_headers()
                self.wfile.flush()
                stop.wait()
            elif url.path.endswith("/slow") or url.path == "/nolength":
                size = min(max(number("bytes", 10000), 0), MAX_GENERATED)
                self.trickle(size, number("delay", 0.05, float),
                             max(number("chunk", 1000), 1), url.path != "/nolength")
            elif url.path.endswith("/endless"):
                length = number("length", None)
                self.trickle(None, number("delay", 0.0, float),
                             min(max(number("chunk", 65536), 1), MAX_CHUNK), length is not None,
                             announced=length)
            elif url.path.endswith("/huge"):
                self.trickle(max(number("bytes", 0), 0), 0.0,
                             min(max(number("chunk", 65536), 1), MAX_CHUNK), True)
            elif url.path.endswith("/drip"):
                self.trickle(None, number("delay", 1.0, float), 1, False)
            elif url.path == "/redirect":
                self.send_response(302)
                self.send_header("Location", query.get("to", ["/"])[0])
                self.send_header("Content-Length", "0")
                self.end_headers()
            else:
                super().do_GET()
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client gave up, which several tests do on purpose

    def answer(self, status):
        body = f"<html><body>Status {status}</body></html>".encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    # `size` None: without end. `announced` replaces the Content-Length sent.
    def trickle(self, size, delay, chunk, with_length, announced=None):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if with_length:
            self.send_header("Content-Length", str(size if announced is None else announced))
        self.end_headers()
        self.wfile.flush()
        start = 0
        while size is None or start < size:
            if (stop.wait(delay) if delay > 0 else stop.is_set()):
                return
            self.wfile.write(pattern(start, chunk if size is None else min(chunk, size - start)))
            self.wfile.flush()
            start += chunk


def status_code(text, default):
    try:
        value = int(text)
    except ValueError:
        return default
    return value if 100 <= value <= 599 else default


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--lifetime", type=float, default=120)
    parser.add_argument("--log")
    parser.add_argument("--route", action="append", default=[])
    parser.add_argument("--routes")
    args = parser.parse_args()
    global log_file, routes_file
    log_file = args.log
    routes_file = args.routes
    for route in args.route:
        path, _, target = route.partition("=")
        routes[path] = target

    handler = functools.partial(Handler, directory=args.root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    print(server.server_address[1], flush=True)
    # A short poll, so that the server ends at once when told to.
    threading.Thread(target=server.serve_forever, args=(0.05,), daemon=True).start()
    stop.wait(args.lifetime)
    stop.set()  # releases stalled and trickling answers
    server.shutdown()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
