#!/usr/bin/env python3
"""Stand-in for the maker's version service and event service, on loopback.

usage:
  stand_in_services.py serve --port PORT [--verdict NAME] [--version-verdict VERSION=NAME]...
                             [--record FILE] [--full-port PORT] [--proxy-port PORT]
  stand_in_services.py start --port PORT --pid-file FILE [--verdict NAME]
                             [--version-verdict VERSION=NAME]... [--record FILE]
                             [--full-port PORT] [--proxy-port PORT] [--log FILE]
  stand_in_services.py stop --pid-file FILE

serve runs in the foreground until interrupted; start runs the same in the
background and returns once the port listens (exit 1, saying so, when the port
is taken); stop ends what start began.

Both services answer on one port:
  GET  .../front/appversion/info?modelName=...&versionName=...   version service
  POST .../front/uploadfile                                      event service
A path may begin with /verdict/NAME to choose the answer for that request
only, and may carry more segments before /front/ (tests put a tag there to
find their own requests in the record), e.g.
  http://127.0.0.1:18391/verdict/status0/tag/t1/front/appversion/info?...
Without one, a --version-verdict for the request's versionName applies (so a
packed installer, whose service address is fixed, can be given its answer),
else --verdict (default status1 for the version service, ok for the event
service).

Verdicts:
  status0 status1 status17 status-true status-false status-abc status-null
  status-empty status-nullstr status-missing code1 code-number0 no-result
  no-data                      JSON answers of the version service
  deep                         legal JSON, 40 KB: "status" nested 20,000 deep
  ok                           200 with a small JSON body (event service)
  html                         an HTML page with status 200
  500                          status 500 with an HTML body
  redirect                     302 to the same path with verdict status0
  gbk                          GBK-encoded JSON, charset declared, status 2
  big / big-unsized            2 MiB, with / without Content-Length
  huge-unsized                 64 MiB without Content-Length
  hang                         accepts the request and never answers
  trickle                      answers 200 and sends a byte every 0.5 s forever

--full-port opens a second port whose accept queue is full and never
served, so that connecting to it times out.

--proxy-port opens a recording HTTP proxy on 127.0.0.2 (another loopback
address: a WinHTTP that sees the proxy on the server's own host name sends it
the request as if it were the server): a request whose target is an absolute
http://127.0.0.1 URL is recorded (with "via": "proxy" and the absolute "url")
and passed on to that server, its answer back. The same port serves a proxy
configuration script at /proxy.pac that sends every URL through this proxy
except those with /tag/pac-direct in them; /proxy.pac?answer=TEXT serves one
that answers TEXT for every URL (for example "PROXY 127.0.0.5:PORT; PROXY
127.0.0.2:PORT"; nothing listens on 127.0.0.5). On the same port of 127.0.0.3
a proxy demands authentication: it records each request ("via":
"auth-proxy", headers included) and answers 407, offering Negotiate, NTLM
and Basic.

--record appends one JSON line per request, written before the answer:
method, path, query, version (HTTP/1.0 or HTTP/1.1), headers (name, value
pairs in order), body_base64, and for gzip bodies of the event service
body_text (the decompressed UTF-8 text, or null) and token_valid (the token's
digest recomputed from its own time stamp).
"""

import argparse
import base64
import gzip
import hashlib
import http.client
import http.server
import json
import os
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.parse

SIGNING_KEY = "8B41D@0F7A!C93$5E1B%4A6D#7F2"
VERSION_PATH = "/front/appversion/info"
UPLOAD_PATH = "/front/uploadfile"

STOP = threading.Event()
RECORD_LOCK = threading.Lock()


def version_answer(result, data):
    body = {}
    if result is not None:
        body["result"] = result
    if data is not None:
        body["data"] = data
    return json.dumps(body).encode()


OK0 = {"code": "0", "message": "ok"}
JSON_VERDICTS = {
    "status0": version_answer(OK0, {"status": 0}),
    "status1": version_answer(OK0, {"status": 1}),
    "status17": version_answer(OK0, {"status": "17"}),
    "status-true": version_answer(OK0, {"status": True}),
    "status-false": version_answer(OK0, {"status": False}),
    "status-abc": version_answer(OK0, {"status": "abc"}),
    "status-null": version_answer(OK0, {"status": None}),
    "status-empty": version_answer(OK0, {"status": ""}),
    "status-nullstr": version_answer(OK0, {"status": "null"}),
    "status-missing": version_answer(OK0, {"url": "https://www.orvek.example/download"}),
    "code1": version_answer({"code": "1"}, {"status": 0}),
    "code-number0": version_answer({"code": 0}, {"status": 0}),
    "no-result": version_answer(None, {"status": 0}),
    "no-data": version_answer(OK0, None),
    "ok": b'{"result":{"code":"0"}}',
    # Far below the 1 MiB cap on an answer, and once enough to overflow the
    # stack of the thread that read it.
    "deep": b'{"result":{"code":"0"},"data":{"status":' + b"[" * 20000 + b"]" * 20000 + b"}}",
}


def token_valid(token):
    """The service's own check: 10 digits, 32 hex digits, 3 digits, "0"."""
    if not isinstance(token, str) or len(token) != 46 or not token.endswith("0"):
        return False
    stamp = token[:10] + token[42:45]
    digest = token[10:42]
    h = hashlib.md5(b"0").hexdigest()
    return stamp.isdigit() and digest == hashlib.md5((h + SIGNING_KEY + stamp).encode()).hexdigest()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    default_verdicts = {}
    version_verdicts = {}
    record_file = None

    def log_message(self, fmt, *args):
        sys.stderr.write("%s %s\n" % (self.address_string(), fmt % args))

    def do_GET(self):
        self.handle_any()

    def do_POST(self):
        self.handle_any()

    def split_path(self):
        url = urllib.parse.urlsplit(self.path)
        path, verdict = url.path, None
        if path.startswith("/verdict/"):
            rest = path[len("/verdict/"):]
            verdict, _, tail = rest.partition("/")
            path = "/" + tail
        return url.path, url.query, path, verdict

    def record(self, full_path, query, body, service):
        if not self.record_file:
            return
        entry = {
            "method": self.command,
            "path": full_path,
            "query": query,
            "version": self.request_version,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body_base64": base64.b64encode(body).decode(),
        }
        if service == "event":
            try:
                text = gzip.decompress(body).decode("utf-8")
                entry["body_text"] = text
                entry["token_valid"] = token_valid(json.loads(text).get("token"))
            except Exception as e:  # a malformed upload is what tests look for
                entry["body_text"] = None
                entry["body_error"] = str(e)
        with RECORD_LOCK, open(self.record_file, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry, ensure_ascii=False) + "\n")

    def handle_any(self):
        full_path, query, path, verdict = self.split_path()
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length > 0 else b""
        if path.endswith(VERSION_PATH) and self.command == "GET":
            service = "version"
        elif path.endswith(UPLOAD_PATH) and self.command == "POST":
            service = "event"
        else:
            service = None
        self.record(full_path, query, body, service)
        if service is None:
            return self.answer(404, b"<html>not found</html>", "text/html")
        if service == "version" and not verdict:
            name = urllib.parse.parse_qs(query).get("versionName", [""])[0]
            verdict = self.version_verdicts.get(name)
        self.serve_verdict(verdict or self.default_verdicts[service], path)

    def answer(self, status, body, content_type="application/json;charset=UTF-8", sized=True):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if sized:
            self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        try:
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client stopped reading, as it should for long answers

    def serve_verdict(self, verdict, path):
        if verdict in JSON_VERDICTS:
            return self.answer(200, JSON_VERDICTS[verdict])
        if verdict == "html":
            return self.answer(200, b"<html><body>maintenance</body></html>", "text/html")
        if verdict == "500":
            return self.answer(500, b"<html><body>Internal Server Error</body></html>", "text/html")
        if verdict == "redirect":
            self.send_response(302)
            self.send_header("Location", "/verdict/status0" + path + "?" + urllib.parse.urlsplit(self.path).query)
            self.send_header("Content-Length", "0")
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            return
        if verdict == "gbk":
            body = '{"result":{"code":"0","message":"版本有效"},"data":{"status":2}}'.encode("gbk")
            return self.answer(200, body, "application/json; charset=GBK")
        if verdict in ("big", "big-unsized"):
            return self.answer(200, b" " * (2 << 20), sized=verdict == "big")
        if verdict == "huge-unsized":
            return self.stream(b" " * (1 << 20), 64, 0)
        if verdict == "hang":
            STOP.wait()
            self.close_connection = True
            return
        if verdict == "trickle":
            return self.stream(b" ", None, 0.5)
        return self.answer(400, ("unknown verdict " + verdict).encode(), "text/plain")

    def stream(self, chunk, count, pause):
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        sent = 0
        try:
            while not STOP.is_set() and (count is None or sent < count):
                self.wfile.write(chunk)
                self.wfile.flush()
                sent += 1
                if pause:
                    STOP.wait(pause)
        except (BrokenPipeError, ConnectionResetError):
            pass


PAC_ANSWER = """function FindProxyForURL(url, host) {
  return %s;
}
"""
PAC_SCRIPT = """function FindProxyForURL(url, host) {
  if (shExpMatch(url, "*/tag/pac-direct*")) return "DIRECT";
  return "PROXY %s:%d";
}
"""
PROXY_HOST = "127.0.0.2"
AUTH_PROXY_HOST = "127.0.0.3"
HOP_BY_HOP = {"connection", "proxy-connection", "keep-alive", "transfer-encoding", "te", "upgrade"}


class ProxyHandler(Handler):
    """Passes requests for loopback servers on, recording each."""
    port = 0
    demands_auth = False
    via = "proxy"

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length > 0 else b""
        url = urllib.parse.urlsplit(self.path)
        if not url.scheme:
            if url.path == "/proxy.pac":
                answer = urllib.parse.parse_qs(url.query).get("answer")
                script = (PAC_ANSWER % json.dumps(answer[0])) if answer else PAC_SCRIPT % (PROXY_HOST, self.port)
                return self.answer(200, script.encode(), "application/x-ns-proxy-autoconfig")
            return self.answer(404, b"not found", "text/plain")
        self.record_proxied(url, body)
        if self.demands_auth:
            self.send_response(407)
            for offer in ("Negotiate", "NTLM", 'Basic realm="school"'):
                self.send_header("Proxy-Authenticate", offer)
            self.send_header("Content-Length", "0")
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            return
        if url.scheme != "http" or url.hostname != "127.0.0.1":
            return self.answer(502, b"the stand-in proxy only reaches 127.0.0.1", "text/plain")
        headers = {k: v for k, v in self.headers.items() if k.lower() not in HOP_BY_HOP}
        target = http.client.HTTPConnection(url.hostname, url.port or 80, timeout=30)
        try:
            target.request(self.command, url.path + ("?" + url.query if url.query else ""), body, headers)
            reply = target.getresponse()
            content = reply.read()
        except OSError as e:
            return self.answer(502, ("stand-in proxy: %s" % e).encode(), "text/plain")
        finally:
            target.close()
        kept = [(k, v) for k, v in reply.getheaders() if k.lower() not in HOP_BY_HOP | {"content-length"}]
        self.send_response(reply.status, reply.reason)
        for k, v in kept:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(content)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        self.wfile.write(content)

    def record_proxied(self, url, body):
        if not self.record_file:
            return
        entry = {"via": self.via, "method": self.command, "url": self.path, "path": url.path,
                 "query": url.query, "version": self.request_version,
                 "headers": [[k, v] for k, v in self.headers.items()],
                 "body_base64": base64.b64encode(body).decode()}
        with RECORD_LOCK, open(self.record_file, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry, ensure_ascii=False) + "\n")


class AuthProxyHandler(ProxyHandler):
    """Answers every proxied request with 407."""
    demands_auth = True
    via = "auth-proxy"


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    # Lets a restart bind while old connections linger in TIME_WAIT; a port
    # another program listens on is still refused.
    allow_reuse_address = True


def open_full_port(port):
    """A listener whose one-place accept queue is taken: new SYNs are dropped."""
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(0)
    filler = socket.create_connection(("127.0.0.1", port), timeout=2)
    return listener, filler


def serve(args):
    Handler.record_file = args.record
    Handler.default_verdicts = {"version": args.verdict or "status1", "event": args.verdict or "ok"}
    Handler.version_verdicts = dict(rule.split("=", 1) for rule in args.version_verdict or [])
    ProxyHandler.port = args.proxy_port or 0
    try:
        server = Server(("127.0.0.1", args.port), Handler)
        keep = open_full_port(args.full_port) if args.full_port else None
        proxy = Server((PROXY_HOST, args.proxy_port), ProxyHandler) if args.proxy_port else None
        auth_proxy = Server((AUTH_PROXY_HOST, args.proxy_port), AuthProxyHandler) if args.proxy_port else None
    except OSError as e:
        sys.stderr.write("stand-in services: a port is taken or unusable: %s\n" % e)
        return 1
    proxies = [p for p in (proxy, auth_proxy) if p]
    for p in proxies:
        threading.Thread(target=p.serve_forever, daemon=True).start()

    def shut_down(*_):
        threading.Thread(target=server.shutdown).start()
        for p in proxies:
            threading.Thread(target=p.shutdown).start()

    signal.signal(signal.SIGTERM, shut_down)
    if args.record:
        open(args.record, "w").close()
    if args.pid_file:
        with open(args.pid_file + ".tmp", "w") as f:
            f.write(str(os.getpid()))
        os.replace(args.pid_file + ".tmp", args.pid_file)
    sys.stderr.write("stand-in services on http://127.0.0.1:%d\n" % args.port)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    STOP.set()
    server.server_close()
    for p in proxies:
        p.server_close()
    del keep
    return 0


def start(args):
    if os.path.exists(args.pid_file):
        os.remove(args.pid_file)
    command = [sys.executable, os.path.abspath(__file__), "serve", "--port", str(args.port),
               "--pid-file", args.pid_file]
    for name in ("verdict", "record", "full_port", "proxy_port"):
        value = getattr(args, name)
        if value:
            command += ["--" + name.replace("_", "-"), str(value)]
    for rule in args.version_verdict or []:
        command += ["--version-verdict", rule]
    log_path = args.log or args.pid_file + ".log"
    with open(log_path, "w") as log:
        # Detached from the caller's pipes, so ctest does not wait for it.
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                 start_new_session=True)
    deadline = time.time() + 10
    while time.time() < deadline:
        if os.path.exists(args.pid_file):
            return 0
        if child.poll() is not None:
            with open(log_path) as log:
                sys.stderr.write(log.read())
            return 1
        time.sleep(0.05)
    child.kill()
    sys.stderr.write("stand-in services: not listening after 10 s\n")
    return 1


def stop(args):
    try:
        with open(args.pid_file) as f:
            pid = int(f.read())
    except FileNotFoundError:
        return 0
    try:
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            os.kill(pid, 0)
            time.sleep(0.05)
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    os.remove(args.pid_file)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=["serve", "start", "stop"])
    parser.add_argument("--port", type=int)
    parser.add_argument("--verdict")
    parser.add_argument("--version-verdict", action="append", metavar="VERSION=NAME")
    parser.add_argument("--record")
    parser.add_argument("--full-port", type=int)
    parser.add_argument("--proxy-port", type=int)
    parser.add_argument("--pid-file")
    parser.add_argument("--log")
    args = parser.parse_args()
    if args.mode != "stop" and not args.port:
        parser.error("--port is required")
    if args.mode != "serve" and not args.pid_file:
        parser.error("--pid-file is required")
    return {"serve": serve, "start": start, "stop": stop}[args.mode](args)


if __name__ == "__main__":
    sys.exit(main())
