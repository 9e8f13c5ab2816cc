#!/usr/bin/env python3
"""An HTTP server on 127.0.0.1 for the resume benchmark: serves the files of
ROOT as a real server would (Range with If-Range, ETag, Last-Modified), but
resets every connection after CUT bytes of body, as a lossy link does.

    cutting_http_server.py ROOT PORT CUT [SECONDS]

Prints its PID and stops by itself after SECONDS (default 600)."""
import email.utils
import http.server
import os
import socket
import struct
import sys
import threading


class CuttingHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        path = os.path.join(self.server.root, os.path.basename(self.path.split("?")[0]))
        try:
            info = os.stat(path)
        except OSError:
            self.send_error(404)
            return
        size = info.st_size
        etag = '"%x-%x"' % (info.st_ino, int(info.st_mtime))
        modified = email.utils.formatdate(info.st_mtime, usegmt=True)
        first = self.range_start(etag, modified)
        if first is not None and first >= size:
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        partial = first is not None
        self.send_response(206 if partial else 200)
        first = first or 0
        self.send_header("ETag", etag)
        self.send_header("Last-Modified", modified)
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(size - first))
        if partial:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, size - 1, size))
        self.end_headers()
        self.send_body(path, first, size)

    def range_start(self, etag, modified):
        wanted = self.headers.get("Range", "")
        condition = self.headers.get("If-Range")
        if not wanted.startswith("bytes=") or not wanted.endswith("-"):
            return None
        if condition is not None and condition not in (etag, modified):
            return None
        try:
            return int(wanted[6:-1])
        except ValueError:
            return None

    def send_body(self, path, first, size):
        left = min(size - first, self.server.cut)
        with open(path, "rb") as source:
            source.seek(first)
            while left > 0:
                piece = source.read(min(left, 1 << 20))
                if not piece:
                    break
                self.wfile.write(piece)
                left -= len(piece)
        self.wfile.flush()
        if first + self.server.cut < size:
            # A reset, not an orderly close: the link has gone.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.close_connection = True


def main():
    root, port, cut = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    seconds = float(sys.argv[4]) if len(sys.argv) > 4 else 600
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), CuttingHandler)
    server.daemon_threads = True
    server.root, server.cut = root, cut
    print(os.getpid(), flush=True)
    threading.Timer(seconds, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
