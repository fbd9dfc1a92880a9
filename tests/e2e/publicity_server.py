#!/usr/bin/env python3
"""The maker's web service as far as the publicity window needs it, on 127.0.0.1.

    publicity_server.py [--port N] [--log FILE] [--no-flag]

Prints "PORT <n>" on its first line once it listens. Every request is appended
to FILE as one JSON object per line (path and headers). Pages:

  /app/penwick/publicity2/                    the publicity page
  /app/penwick/publicity2/isPublicity2.info   the flag: empty, or 404 with --no-flag
  /page/<name>                                a test page with links, status 200
  /status/<code>                              a page answering with that status
  /frames/good, /frames/bad                   two frames; in "bad" one answers 404
  /hang                                       never answers
  /broken                                     answers 200, then breaks off its page
  /seen?...                                   what the page reports of itself (204)

The 200 pages invite caching (max-age, ETag, Last-Modified), so a client that
uses a cache shows itself by not asking again or by asking conditionally.
"""

import argparse
import json
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

STOP = threading.Event()

REPORTER = """<script>
var counts = {};
function report(what) { fetch('/seen?' + what + '&page=' + encodeURIComponent(location.pathname)); }
function count(name) {
  counts[name] = (counts[name] || 0) + 1;
  document.title = 'left ' + (counts.left || 0) + ' right ' + (counts.right || 0);
}
function bodyStyle() {
  var s = getComputedStyle(document.body);
  return encodeURIComponent([s.overflowX, s.overflowY, s.borderTopStyle].join(' '));
}
document.addEventListener('mousedown', function (e) {
  count(e.button === 2 ? 'right' : e.button === 0 ? 'left' : 'other');
  report('event=mousedown&button=' + e.button + '&style=' + bodyStyle());
}, true);
document.addEventListener('dblclick', function (e) { report('event=dblclick&button=' + e.button); }, true);
document.addEventListener('contextmenu', function () { report('event=contextmenu'); }, true);
window.addEventListener('load', function () { report('event=load&style=' + bodyStyle()); });
</script>"""

PUBLICITY_PAGE = """<!doctype html>
<html><head><meta charset="utf-8"><title>Penwick</title>
<style>
body { margin: 0; font: 14px sans-serif; color: #3b3325; background: #fffbf0;
       overflow: scroll; border: 6px solid #c0392b; }
.banner { background: #2e6da4; color: white; padding: 22px 18px; }
.banner h1 { margin: 0 0 6px; font-size: 26px; }
.offer { margin: 18px; padding: 14px; border: 1px dashed #c8b98f; background: white; }
.offer b { color: #2e6da4; }
.tall { height: 900px; }
</style></head>
<body>
<div class="banner"><h1>Penwick Plus</h1>Notes that follow you everywhere.</div>
<div class="offer"><b>Sync between computers</b><br>Your notes and alarms on every desk you use.</div>
<div class="offer"><b>Shared lists</b><br>Plan the week together with the people you live with.</div>
<div class="offer"><a id="more" href="/page/more">Tell me more</a></div>
<div class="tall"></div>
""" + REPORTER + """
</body></html>"""

TEST_PAGE = """<!doctype html>
<html><head><meta charset="utf-8"><title>left 0 right 0</title>
<style>body { overflow: scroll; border: 3px solid red; }</style></head>
<body>
<p>Test page {name}</p>
<p><a id="self" href="/page/{name}">this page again</a></p>
<p><a id="ok" href="/page/ok2">a page answering 200</a></p>
<p><a id="missing" href="/status/404">a page answering 404</a></p>
<p><a id="ftp" href="ftp://127.0.0.1:9/file.txt">an FTP address</a></p>
<p><a id="blank" href="/page/ok2" target="_blank">a page answering 200 in a new window</a></p>
""" + REPORTER + """
</body></html>"""

FRAMES_PAGE = """<!doctype html>
<html><head><meta charset="utf-8"><title>frames</title></head>
<body><iframe src="{first}"></iframe><iframe src="{second}"></iframe></body></html>"""


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "PublicityTest/1"

    def log_message(self, fmt, *args):  # the request log below replaces it
        pass

    def record(self):
        entry = {"path": self.path, "headers": {k: v for k, v in self.headers.items()}}
        with self.server.log_lock:
            if self.server.log_file:
                self.server.log_file.write(json.dumps(entry) + "\n")
                self.server.log_file.flush()

    def send(self, status, body, content_type="text/html; charset=utf-8", cacheable=False):
        data = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        if cacheable:
            self.send_header("Cache-Control", "max-age=3600")
            self.send_header("ETag", '"penwick-test"')
            self.send_header("Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        self.record()
        path = urlsplit(self.path).path
        if path == "/app/penwick/publicity2/":
            self.send(200, PUBLICITY_PAGE, cacheable=True)
        elif path == "/app/penwick/publicity2/isPublicity2.info":
            if self.server.no_flag:
                self.send(404, "no publicity")
            else:
                self.send(200, "", content_type="application/octet-stream", cacheable=True)
        elif path.startswith("/page/"):
            self.send(200, TEST_PAGE.replace("{name}", path[len("/page/"):]), cacheable=True)
        elif path.startswith("/status/") and path[len("/status/"):].isdigit():
            code = int(path[len("/status/"):])
            self.send(code, "<!doctype html><html><body><p>status %d</p></body></html>" % code)
        elif path == "/frames/good":
            self.send(200, FRAMES_PAGE.format(first="/page/frame1", second="/page/frame2"), cacheable=True)
        elif path == "/frames/bad":
            self.send(200, FRAMES_PAGE.format(first="/page/frame1", second="/status/404"), cacheable=True)
        elif path == "/hang":
            STOP.wait(120)
            self.close_connection = True
        elif path == "/broken":
            start = b"<!doctype html><html><body><p>broken off"
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(start) + 1000))
            self.end_headers()
            self.wfile.write(start)
            self.close_connection = True
        elif path == "/seen":
            self.send_response(204)
            self.send_header("Content-Length", "0")
            self.end_headers()
        else:
            self.send(404, "not here")


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A browser drops connections it no longer needs; that is no error here.
        if not isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError)):
            super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--log")
    parser.add_argument("--no-flag", action="store_true")
    args = parser.parse_args()

    server = Server(("127.0.0.1", args.port), Handler)
    server.log_lock = threading.Lock()
    server.log_file = open(args.log, "a", encoding="utf-8") if args.log else None
    server.no_flag = args.no_flag
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        STOP.set()


if __name__ == "__main__":
    sys.exit(main())
