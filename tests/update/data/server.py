#!/usr/bin/env python3
"""A scripted HTTP server for the update tests, on 127.0.0.1 only.

    python3 server.py --root DIR [--lifetime S]

Prints the chosen port as its first line. Serves the files below DIR and these paths:
  /status/N                      answers with status N
  /stall                         headers (Content-Length 1000), then nothing
  .../slow?bytes=N&delay=S&chunk=C  N bytes in chunks of C, S seconds apart (any folder)
  /nolength?bytes=N&delay=S      like /slow, without Content-Length, ended by closing
  /redirect?to=PATH              302 to PATH
Generated bodies are byte i = i % 251. Ends after --lifetime seconds or on SIGTERM, so a
test that forgets it leaves nothing running for long.
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


def pattern(start, count):
    return bytes((start + i) % 251 for i in range(count))


class Handler(http.server.SimpleHTTPRequestHandler):
    # HTTP/1.0: every answer ends the connection, which the no-length body relies on.
    protocol_version = "HTTP/1.0"

    def log_message(self, format, *args):  # quiet: nobody reads the pipe while tests run
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
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

    def trickle(self, size, delay, chunk, with_length):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if with_length:
            self.send_header("Content-Length", str(size))
        self.end_headers()
        self.wfile.flush()
        for start in range(0, size, chunk):
            if stop.wait(delay):
                return
            self.wfile.write(pattern(start, min(chunk, size - start)))
            self.wfile.flush()


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
    args = parser.parse_args()

    handler = functools.partial(Handler, directory=args.root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    stop.wait(args.lifetime)
    stop.set()  # releases stalled and trickling answers
    server.shutdown()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
